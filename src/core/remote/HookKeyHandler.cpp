#include "core/remote/HookKeyHandler.h"

#include "core/remote/RemoteMacro.h"

namespace pelkora {

void HookKeyHandler::HookKey(std::uint16_t key) {
    const bool acts = counter_ == 1;
    // Counted before acting: a macro that fails half-way (an error raised
    // while it plays) must not shift the press/release pairing, or every
    // later stroke would act on its press and again on the next release.
    advance();
    if (!acts) {
        return;
    }
    if (key >= kF1 && key <= kF12) {
        queueRemoteMacro(engine_, host_, host_.macro(key - kF1 + 1));
    }
    engine_.PlayStack();
}

void HookKeyHandler::advance() {
    ++counter_;
    if (counter_ == 3) {
        counter_ = 1;
    }
}

}  // namespace pelkora
