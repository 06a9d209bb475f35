#include "BenchProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "pulse/MonitorRecorder.h"

extern char** environ;

namespace pelkora::bench {
namespace {

using Clock = std::chrono::steady_clock;

// Only async-signal-safe calls between fork and exec. A failure is told
// through the pipe, which exec closes when it succeeds.
[[noreturn]] void becomeChild(char* const* argv, const char* workDir, int in, int log,
                              int execReport) {
    if (::dup2(in, 0) >= 0 && ::dup2(log, 1) >= 0 && ::dup2(log, 2) >= 0 && ::chdir(workDir) == 0) {
        ::execve(argv[0], argv, environ);
    }
    const char failed = 1;
    (void)!::write(execReport, &failed, 1);
    ::_exit(127);
}

// Waits until the child has exec'd: until then its memory is a copy of ours.
bool execSucceeded(int execReport) {
    char failed = 0;
    ssize_t got = 0;
    do {
        got = ::read(execReport, &failed, 1);
    } while (got < 0 && errno == EINTR);
    return got == 0;
}

double secondsOf(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
}

}  // namespace

std::string BenchProcess::locate(const std::string& program) {
    // Absolute, because the child changes its folder before exec.
    if (program.find('/') != std::string::npos) {
        return ::access(program.c_str(), X_OK) == 0 ? std::filesystem::absolute(program).string()
                                                    : std::string();
    }
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

BenchProcess::BenchProcess(const std::vector<std::string>& argv, const std::string& workDir,
                           const std::string& logPath) {
    std::vector<std::string> words = argv;
    words.at(0) = locate(argv.at(0));
    if (words[0].empty()) {
        throw std::runtime_error(argv[0] + " not found");
    }
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    int execReport[2] = {-1, -1};
    if (in < 0 || log < 0 || ::pipe2(execReport, O_CLOEXEC) != 0) {
        for (const int fd : {in, log, execReport[0], execReport[1]}) {
            ::close(fd);
        }
        throw std::runtime_error("cannot open /dev/null, " + logPath + " or a pipe");
    }
    startedAt_ = test::MonitorRecorder::nowSeconds();
    pid_ = ::fork();
    if (pid_ == 0) {
        becomeChild(pointers.data(), workDir.c_str(), in, log, execReport[1]);
    }
    for (const int fd : {in, log, execReport[1]}) {
        ::close(fd);
    }
    const bool started = pid_ > 0 && execSucceeded(execReport[0]);
    ::close(execReport[0]);
    if (!started) {
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
        }
        throw std::runtime_error("cannot start " + words[0] + " in " + workDir);
    }
}

BenchProcess::~BenchProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

void BenchProcess::samplePeakRss() {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            peakRssKb_ = std::max(peakRssKb_, std::strtol(line.c_str() + 6, nullptr, 10));
        }
    }
}

BenchProcess::Ended BenchProcess::wait(std::chrono::milliseconds timeout) {
    Ended ended;
    if (pid_ <= 0) {
        return ended;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    int status = 0;
    rusage usage{};
    while (::wait4(pid_, &status, WNOHANG, &usage) == 0) {
        samplePeakRss();
        if (Clock::now() >= deadline) {
            ended.timedOut = true;
            ::kill(pid_, SIGKILL);
            ::wait4(pid_, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pid_ = -1;
    ended.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ended.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    ended.peakRssKb = peakRssKb_;
    return ended;
}

}  // namespace pelkora::bench
