#include "core/remote/RemoteMacro.h"

namespace pelkora {

void queueRemoteMacro(KeyerEngine& engine, RemoteHost& host, std::string_view macro) {
    engine.setCallText(host.callField());
    engine.setReportText(host.reportField());
    engine.AddToQueue(macro);
}

}  // namespace pelkora
