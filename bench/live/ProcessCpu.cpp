#include "ProcessCpu.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {
namespace {

struct StatFields {
    char state = '?';
    unsigned long long ticks = 0;
};

// The fields after the command name, which may itself hold spaces and parentheses.
std::optional<StatFields> readStat(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(file, line) || line.rfind(')') == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    StatFields stat;
    std::string skipped;
    fields >> stat.state;
    for (int field = 4; field <= 13; ++field) {
        fields >> skipped;
    }
    unsigned long long user = 0;
    unsigned long long system = 0;
    if (!(fields >> user >> system)) {
        return std::nullopt;
    }
    stat.ticks = user + system;
    return stat;
}

double schedSecondsOf(pid_t pid) {
    unsigned long long nanoseconds = 0;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        unsigned long long onCpu = 0;
        if (std::ifstream(task.path() / "schedstat") >> onCpu) {
            nanoseconds += onCpu;
        }
    }
    return static_cast<double>(nanoseconds) * 1e-9;
}

double percentOf(double cpuSeconds, double wallSeconds) {
    return wallSeconds > 0 ? cpuSeconds / wallSeconds * 100.0 : 0.0;
}

}  // namespace

std::optional<ProcessCpu> ProcessCpu::read(pid_t pid) {
    const auto stat = readStat(pid);
    if (!stat || stat->state == 'Z' || stat->state == 'X') {
        return std::nullopt;
    }
    ProcessCpu reading;
    reading.wallSeconds = test::MonitorRecorder::nowSeconds();
    reading.tickSeconds =
        static_cast<double>(stat->ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    reading.schedSeconds = schedSecondsOf(pid);
    return reading;
}

double ProcessCpu::tickPercent(const ProcessCpu& from, const ProcessCpu& to) {
    return percentOf(to.tickSeconds - from.tickSeconds, to.wallSeconds - from.wallSeconds);
}

double ProcessCpu::schedPercent(const ProcessCpu& from, const ProcessCpu& to) {
    return percentOf(to.schedSeconds - from.schedSeconds, to.wallSeconds - from.wallSeconds);
}

}  // namespace pelkora::bench
