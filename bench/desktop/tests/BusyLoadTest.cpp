#include "BusyLoad.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace pelkora::bench {
namespace {

using namespace std::chrono_literals;

// A process that still runs: present and neither a zombie nor dead.
bool running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
        return false;
    }
    const char state = line.at(line.rfind(')') + 2);
    return state != 'Z' && state != 'X';
}

bool endsWithin(pid_t pid, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (running(pid)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

TEST(BusyLoad, RunsAsManyLoopsAsAskedUntilDestroyed) {
    for (const int count : {0, 1, 3}) {
        std::vector<pid_t> pids;
        {
            const BusyLoad load(count);
            pids = load.pids();
            ASSERT_EQ(pids.size(), static_cast<std::size_t>(count));
            for (const pid_t pid : pids) {
                EXPECT_TRUE(running(pid)) << pid;
            }
        }
        for (const pid_t pid : pids) {
            // Reaped, not left as zombies: the pid is gone.
            EXPECT_FALSE(running(pid)) << pid;
            EXPECT_NE(::waitpid(pid, nullptr, WNOHANG), pid) << pid;
        }
    }
}

// A benchmark killed mid-run must not leave cores burning.
TEST(BusyLoad, LoopsEndWithAnOwnerThatDiesWithoutCleaningUp) {
    int report[2] = {-1, -1};
    ASSERT_EQ(::pipe(report), 0);
    const pid_t owner = ::fork();
    ASSERT_GE(owner, 0);
    if (owner == 0) {
        ::close(report[0]);
        auto* load = new BusyLoad(2);  // never destroyed: the owner just ends
        for (const pid_t pid : load->pids()) {
            (void)!::write(report[1], &pid, sizeof pid);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    pid_t loops[2] = {0, 0};
    // The owner writes one pid at a time: a read can return the first alone.
    ssize_t got = 0;
    auto* into = reinterpret_cast<char*>(loops);
    while (got < static_cast<ssize_t>(sizeof loops)) {
        const ssize_t part =
            ::read(report[0], into + got, sizeof loops - static_cast<std::size_t>(got));
        if (part <= 0) {
            break;
        }
        got += part;
    }
    ::close(report[0]);
    ::waitpid(owner, nullptr, 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof loops));
    for (const pid_t pid : loops) {
        EXPECT_TRUE(endsWithin(pid, 5s)) << "busy loop " << pid << " outlived its owner";
    }
}

}  // namespace
}  // namespace pelkora::bench
