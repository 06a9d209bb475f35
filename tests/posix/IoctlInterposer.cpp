#include "posix/IoctlInterposer.h"

#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <map>
#include <mutex>
#include <optional>

namespace pelkora {

namespace {

struct EmulatedLines {
    std::mutex mutex;
    std::map<int, int> bitsByFd;
    std::vector<ModemLineCall> calls;
    int pendingErrno = 0;
};

EmulatedLines& state() {
    static EmulatedLines lines;
    return lines;
}

bool isModemLineRequest(unsigned long request) {
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

int applyRequest(int bits, unsigned long request, int argument) {
    switch (request) {
        case TIOCMBIS:
            return bits | argument;
        case TIOCMBIC:
            return bits & ~argument;
        default:
            return argument;  // TIOCMSET
    }
}

// The emulated result, or nullopt when fd is not emulated.
std::optional<int> emulateModemRequest(int fd, unsigned long request, int* argument) {
    EmulatedLines& lines = state();
    std::lock_guard lock(lines.mutex);
    auto found = lines.bitsByFd.find(fd);
    if (found == lines.bitsByFd.end()) {
        return std::nullopt;
    }
    if (lines.pendingErrno != 0) {
        errno = lines.pendingErrno;
        lines.pendingErrno = 0;
        return -1;
    }
    if (argument == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (request == TIOCMGET) {
        *argument = found->second;
        return 0;
    }
    found->second = applyRequest(found->second, request, *argument);
    lines.calls.push_back({fd, request, *argument});
    return 0;
}

using IoctlFunction = int (*)(int, unsigned long, ...);

// dlsym may itself end up in ioctl (through a sanitizer runtime, say); a call
// made while resolving goes straight to the system call instead of recursing.
thread_local bool resolving = false;

IoctlFunction nextIoctl() {
    static std::atomic<IoctlFunction> next = nullptr;
    IoctlFunction found = next.load();
    if (found == nullptr && !resolving) {
        resolving = true;
        found = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
        resolving = false;
        next.store(found);
    }
    return found;
}

int forward(int fd, unsigned long request, void* argument) {
    if (IoctlFunction next = nextIoctl()) {
        return next(fd, request, argument);
    }
    return static_cast<int>(syscall(SYS_ioctl, fd, request, argument));
}

}  // namespace

void IoctlInterposer::emulate(int fd, int initialBits) {
    std::lock_guard lock(state().mutex);
    state().bitsByFd[fd] = initialBits;
}

void IoctlInterposer::reset() {
    std::lock_guard lock(state().mutex);
    state().bitsByFd.clear();
    state().calls.clear();
    state().pendingErrno = 0;
}

int IoctlInterposer::modemBits(int fd) {
    std::lock_guard lock(state().mutex);
    auto found = state().bitsByFd.find(fd);
    return found == state().bitsByFd.end() ? 0 : found->second;
}

std::vector<ModemLineCall> IoctlInterposer::calls() {
    std::lock_guard lock(state().mutex);
    return state().calls;
}

void IoctlInterposer::clearCalls() {
    std::lock_guard lock(state().mutex);
    state().calls.clear();
}

void IoctlInterposer::failNextCall(int errnoValue) {
    std::lock_guard lock(state().mutex);
    state().pendingErrno = errnoValue;
}

}  // namespace pelkora

// Replaces the C library's ioctl for the whole test binary; the declaration in
// <sys/ioctl.h> is noexcept in C++, so the definition must be too.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (pelkora::isModemLineRequest(request)) {
        if (auto result = pelkora::emulateModemRequest(fd, request, static_cast<int*>(argument))) {
            return *result;
        }
    }
    return pelkora::forward(fd, request, argument);
}
