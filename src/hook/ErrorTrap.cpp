#include "hook/ErrorTrap.h"

#include <array>
#include <atomic>

namespace pelkora::hook {

namespace {

// The watcher's three connections.
std::array<std::atomic<Display*>, 3> trapped{};
XErrorHandler previous = nullptr;
bool installed = false;

int ignoreOwnErrors(Display* display, XErrorEvent* error) {
    for (const auto& own : trapped) {
        if (own.load() == display) {
            return 0;
        }
    }
    return previous != nullptr ? previous(display, error) : 0;
}

}  // namespace

void ErrorTrap::add(Display* display) {
    for (auto& slot : trapped) {
        Display* empty = nullptr;
        if (slot.compare_exchange_strong(empty, display)) {
            break;
        }
    }
    if (!installed) {
        previous = XSetErrorHandler(ignoreOwnErrors);
        installed = true;
    }
}

void ErrorTrap::remove(Display* display) {
    bool anyLeft = false;
    for (auto& slot : trapped) {
        Display* expected = display;
        slot.compare_exchange_strong(expected, nullptr);
        anyLeft = anyLeft || slot.load() != nullptr;
    }
    if (anyLeft || !installed) {
        return;
    }
    // Put the earlier handler back unless someone has replaced ours since.
    XErrorHandler current = XSetErrorHandler(previous);
    if (current != ignoreOwnErrors) {
        XSetErrorHandler(current);
        return;
    }
    installed = false;
}

}  // namespace pelkora::hook
