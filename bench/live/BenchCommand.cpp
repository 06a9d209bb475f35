#include "BenchCommand.h"

#include <thread>

#include "pulse/MonitorRecorder.h"

namespace pelkora::bench {
namespace {

std::string quoted(const std::string& word) {
    if (word.find_first_of(" ~[]$\";'") == std::string::npos) {
        return word;
    }
    std::string text = "'";
    for (const char c : word) {
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return text + "'";
}

}  // namespace

std::string commandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& word : argv) {
        line += (line.empty() ? "" : " ") + quoted(word);
    }
    return line;
}

void sleepUntil(double monotonicSeconds) {
    const double left = monotonicSeconds - test::MonitorRecorder::nowSeconds();
    if (left > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(left));
    }
}

std::string endError(const BenchProcess::Ended& ended, std::chrono::seconds timeout) {
    if (ended.timedOut) {
        return "killed after " + std::to_string(timeout.count()) + " s";
    }
    return ended.exitCode == 0 ? std::string()
                               : "exited with " + std::to_string(ended.exitCode) + " (see the log)";
}

}  // namespace pelkora::bench
