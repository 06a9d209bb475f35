#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>
#include <thread>

extern char** environ;

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

std::string nameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

// The test's environment with the given entries added or replaced.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string name = nameOf(*entry);
        bool replaced = false;
        for (const std::string& wanted : overrides) {
            replaced = replaced || nameOf(wanted) == name;
        }
        if (!replaced) {
            merged.emplace_back(*entry);
        }
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
}

std::vector<char*> pointersTo(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls between fork and exec. The stop signals go back
// to their defaults: an ignored SIGINT would never reach the player's loop.
[[noreturn]] void becomeChild(char* const* argv, char* const* envp, const char* workDir, int in,
                              const Pipe& out, const Pipe& err) {
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    if (::dup2(in, 0) < 0 || ::dup2(out.write, 1) < 0 || ::dup2(err.write, 2) < 0 ||
        ::chdir(workDir) != 0) {
        ::_exit(126);
    }
    ::execve(argv[0], argv, envp);
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
        if (::poll(fds.data(), fds.size(), remainingMs(deadline)) <= 0) {
            return false;
        }
        for (std::size_t index = 0; index < fds.size(); ++index) {
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
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return status;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& workDir,
                           const std::vector<std::string>& environment) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<std::string> variables = mergedEnvironment(environment);
    const std::vector<char*> argv = pointersTo(words);
    const std::vector<char*> envp = pointersTo(variables);

    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const Pipe out = makePipe();
    const Pipe err = makePipe();
    pid_ = ::fork();
    if (pid_ == 0) {
        becomeChild(argv.data(), envp.data(), workDir.c_str(), devNull, out, err);
    }
    for (const int fd : {devNull, out.write, err.write}) {
        ::close(fd);
    }
    outFd_ = out.read;
    errFd_ = err.read;
    if (pid_ < 0) {
        closePipes();
        throw std::runtime_error("fork failed");
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    closePipes();
}

void ChildProcess::signal(int number) const {
    if (pid_ > 0) {
        ::kill(pid_, number);
    }
}

ChildProcess::Result ChildProcess::finish(std::chrono::milliseconds timeout) {
    Result result;
    if (pid_ <= 0) {
        return result;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    const bool drained = drain(outFd_, errFd_, result, deadline);
    closePipes();
    const int status = reap(pid_, drained ? deadline : Clock::now(), result.timedOut);
    pid_ = -1;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void ChildProcess::closePipes() {
    for (int* fd : {&outFd_, &errFd_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

ChildProcess::Result ChildProcess::run(const std::string& program,
                                       const std::vector<std::string>& args,
                                       const std::string& workDir,
                                       std::chrono::milliseconds timeout) {
    ChildProcess child(program, args, workDir, {});
    return child.finish(timeout);
}

}  // namespace pelkora::test
