#include "platform/hamlib/RigctldFaultRelease.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace pelkora {

namespace {

// A slot holds the socket plus one (zero: free), with a high bit set when
// rigctld wants the VFO named, so a handler reads both in one lock-free load.
constexpr int kVfoFlag = 1 << 30;
std::array<std::atomic<int>, 8> armedSockets{};
static_assert(std::atomic<int>::is_always_lock_free);

void writeAll(int fd, const char* text) noexcept {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(fd, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace

int RigctldFaultRelease::arm(int socketFd, bool vfoMode) noexcept {
    if (socketFd < 0 || socketFd + 1 >= kVfoFlag) {
        return -1;
    }
    const int value = (socketFd + 1) | (vfoMode ? kVfoFlag : 0);
    for (size_t i = 0; i < armedSockets.size(); ++i) {
        int expected = 0;
        if (armedSockets[i].compare_exchange_strong(expected, value)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void RigctldFaultRelease::disarm(int slot) noexcept {
    if (slot >= 0 && static_cast<size_t>(slot) < armedSockets.size()) {
        armedSockets[static_cast<size_t>(slot)].store(0);
    }
}

void RigctldFaultRelease::release() noexcept {
    for (const auto& slot : armedSockets) {
        const int value = slot.load();
        if (value == 0) {
            continue;
        }
        // The leading newline ends any command a worker thread was halfway
        // through writing, so rigctld reads ours on a line of its own.
        writeAll((value & ~kVfoFlag) - 1, (value & kVfoFlag) != 0 ? "\nT currVFO 0\n" : "\nT 0\n");
    }
}

}  // namespace pelkora
