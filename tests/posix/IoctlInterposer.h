#pragma once

#include <vector>

namespace pelkora {

// One modem-line request that reached an emulated descriptor.
struct ModemLineCall {
    int fd;
    unsigned long request;  // TIOCMBIS, TIOCMBIC or TIOCMSET
    int bits;               // the argument as passed

    bool operator==(const ModemLineCall&) const = default;
};

// Test-side control of the ioctl() defined in IoctlInterposer.cpp. The kernel
// refuses the modem-line requests on pseudo-terminals (ENOTTY), so for the
// descriptors registered here TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC act on
// emulated modem bits and are recorded; every other call goes to the real
// ioctl. The interposer is linked into the test binary, not preloaded, so it
// also works under AddressSanitizer.
// Threading: any thread; the state is guarded by one mutex.
class IoctlInterposer {
  public:
    // Emulates the modem lines of fd, starting with the given bits.
    static void emulate(int fd, int initialBits = 0);
    // Forgets every emulated descriptor, the recorded calls and a pending failure.
    static void reset();

    static int modemBits(int fd);
    static std::vector<ModemLineCall> calls();
    static void clearCalls();

    // The next modem-line request on an emulated descriptor fails with errnoValue.
    static void failNextCall(int errnoValue);
};

}  // namespace pelkora
