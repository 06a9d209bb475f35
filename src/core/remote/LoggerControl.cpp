#include "core/remote/LoggerControl.h"

#include "core/remote/RemoteMacro.h"

namespace pelkora {

void LoggerControl::handle(std::int64_t code) {
    if (isMacroCode(code)) {
        queueRemoteMacro(engine_, host_, host_.macro(static_cast<int>(code)));
        return;
    }
    switch (code) {
        case kResume:
            engine_.commandedPause(false);
            return;
        case kPause:
            engine_.commandedPause(true);
            return;
        case kRelease:
            engine_.commandedTransmit(false);
            return;
        case kKey:
            engine_.commandedTransmit(true);
            return;
        default:
            return;  // a code of a newer logger, or noise: ignored
    }
}

}  // namespace pelkora
