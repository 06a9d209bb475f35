#include "play/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <thread>

namespace pelkora::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
    int read = -1;
    int write = -1;
};

Pipe makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    return Pipe{ends[0], ends[1]};
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void becomeChild(char* const* argv, const char* workDir, int in, const Pipe& out,
                              const Pipe& err) {
    if (::dup2(in, 0) < 0 || ::dup2(out.write, 1) < 0 || ::dup2(err.write, 2) < 0 ||
        ::chdir(workDir) != 0) {
        ::_exit(126);
    }
    ::execv(argv[0], argv);
    ::_exit(127);
}

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Reads both streams until the child closes them; false when the deadline came first.
bool drain(int outFd, int errFd, ChildProcess::Result& result, Clock::time_point deadline) {
    std::array<pollfd, 2> fds{pollfd{outFd, POLLIN, 0}, pollfd{errFd, POLLIN, 0}};
    std::array<std::string*, 2> sinks{&result.out, &result.err};
    char buffer[4096];
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const int ready = ::poll(fds.data(), fds.size(), remainingMs(deadline));
        if (ready == 0) {
            return false;
        }
        for (std::size_t index = 0; index < fds.size() && ready > 0; ++index) {
            if (fds[index].fd < 0 || fds[index].revents == 0) {
                continue;
            }
            const ssize_t got = ::read(fds[index].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[index]->append(buffer, static_cast<std::size_t>(got));
            } else {
                fds[index].fd = -1;  // end of stream, or an error: stop reading it
            }
        }
    }
    return true;
}

// Waits for the child, killing it at the deadline; returns the wait status.
int reap(pid_t pid, Clock::time_point deadline, bool& killed) {
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            killed = true;
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

}  // namespace

ChildProcess::Result ChildProcess::run(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const std::string& workDir,
                                       std::chrono::milliseconds timeout) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const Pipe out = makePipe();
    const Pipe err = makePipe();
    const pid_t pid = ::fork();
    if (pid == 0) {
        becomeChild(argv.data(), workDir.c_str(), devNull, out, err);
    }
    for (const int fd : {devNull, out.write, err.write}) {
        ::close(fd);
    }
    if (pid < 0) {
        ::close(out.read);
        ::close(err.read);
        throw std::runtime_error("fork failed");
    }
    Result result;
    const Clock::time_point deadline = Clock::now() + timeout;
    const bool drained = drain(out.read, err.read, result, deadline);
    ::close(out.read);
    ::close(err.read);
    const int status = reap(pid, drained ? deadline : Clock::now(), result.timedOut);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace pelkora::test
