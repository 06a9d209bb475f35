#pragma once

namespace pelkora {

// What pelkora-ctl's exit status tells the logger that ran it.
enum CtlExit : int {
    CtlOk = 0,
    CtlUsage = 2,       // bad command line; nothing was sent
    CtlNoKeyer = 3,     // no program owns org.pelkora.Pelkora, or it left while watched
    CtlCallFailed = 4,  // the keyer answered with an error, or not in time
    CtlNoBus = 5,       // no session bus to talk on
};

}  // namespace pelkora
