// Loaded into pelkora-play with LD_PRELOAD by the end-to-end tests, for what
// a test machine cannot show otherwise:
//
//   PELKORA_TEST_LINE_LOG=FILE   the modem-line requests (TIOCMBIS, TIOCMBIC,
//       TIOCMSET) succeed on any descriptor, as on a real serial port, and each
//       is appended to FILE as "BIS 2", "BIC 6", ... (bits in decimal). A
//       pseudo-terminal refuses them, so this is how a test sees the lines.
//       Appending uses write(2) only: it also records a fault handler's drop.
//   PELKORA_TEST_THROW_AT_FLUSH=N   the N-th fflush(stdout) (one per event
//       line) flushes, then throws std::bad_alloc: an exception escaping in
//       the middle of a keyer operation.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

int lineLog = -1;
long throwAtFlush = 0;
long flushes = 0;
int modemBits = 0;

__attribute__((constructor)) void readSettings() {
    if (const char* path = std::getenv("PELKORA_TEST_LINE_LOG"); path != nullptr && *path != 0) {
        lineLog = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    if (const char* count = std::getenv("PELKORA_TEST_THROW_AT_FLUSH"); count != nullptr) {
        throwAtFlush = std::strtol(count, nullptr, 10);
    }
}

// Async-signal-safe: digits by hand, one write.
void logRequest(const char* name, int bits) {
    char line[32];
    int length = 0;
    for (const char* c = name; *c != 0; ++c) {
        line[length++] = *c;
    }
    line[length++] = ' ';
    char digits[12];
    int count = 0;
    auto value = static_cast<unsigned>(bits);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) {
        line[length++] = digits[--count];
    }
    line[length++] = '\n';
    if (::write(lineLog, line, static_cast<std::size_t>(length)) < 0) {
        // Nothing to do: the test sees the line missing.
    }
}

bool emulate(unsigned long request, int* bits) {
    if (lineLog < 0 || bits == nullptr) {
        return false;
    }
    switch (request) {
        case TIOCMGET:
            *bits = modemBits;
            return true;
        case TIOCMBIS:
            modemBits |= *bits;
            logRequest("BIS", *bits);
            return true;
        case TIOCMBIC:
            modemBits &= ~*bits;
            logRequest("BIC", *bits);
            return true;
        case TIOCMSET:
            modemBits = *bits;
            logRequest("SET", *bits);
            return true;
        default:
            return false;
    }
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (emulate(request, static_cast<int*>(argument))) {
        return 0;
    }
    return static_cast<int>(::syscall(SYS_ioctl, fd, request, argument));
}

extern "C" int fflush(FILE* stream) {
    using Fflush = int (*)(FILE*);
    static const auto next = reinterpret_cast<Fflush>(::dlsym(RTLD_NEXT, "fflush"));
    const int result = next(stream);
    if (stream == stdout && throwAtFlush > 0 && ++flushes == throwAtFlush) {
        throw std::bad_alloc();
    }
    return result;
}
