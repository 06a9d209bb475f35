#include "platform/posix/FileDiagnosticLog.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include "core/app/DebugLogFormat.h"

namespace pelkora {

std::tm FileDiagnosticLog::localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

FileDiagnosticLog::FileDiagnosticLog(bool switchedOn, Clock clock)
    : state_(switchedOn ? State::Ready : State::Off), clock_(std::move(clock)) {}

bool FileDiagnosticLog::OpenDebugLog(const std::string& fullName, const std::string& programPath,
                                     std::string* error) {
    if (state_ != State::Ready) {
        return true;
    }
    // "e": close-on-exec, so programs started later do not inherit the file.
    file_.reset(std::fopen(fullName.c_str(), "wbe"));
    if (!file_) {
        failWith(errno);
    } else {
        state_ = State::Open;
        writeWhole(
            DebugLogFormat::openingLines(programPath, DebugLogFormat::formatDateTime(clock_())));
    }
    if (state_ == State::Open) {
        return true;
    }
    if (error != nullptr) {
        *error = lastError_;
    }
    return false;
}

void FileDiagnosticLog::CloseDebugLog() {
    if (state_ != State::Open) {
        return;
    }
    if (!writeWhole(DebugLogFormat::closingLine(DebugLogFormat::formatDateTime(clock_())))) {
        return;
    }
    std::FILE* file = file_.release();
    state_ = State::Finished;
    if (std::fclose(file) != 0) {
        failWith(errno);
    }
}

void FileDiagnosticLog::logString(const std::string& name, const std::string& value) {
    if (state_ != State::Open) {
        return;
    }
    writeWhole(DebugLogFormat::valueLine(name, value));
}

bool FileDiagnosticLog::writeWhole(const std::string& text) {
    errno = 0;
    const std::size_t written = std::fwrite(text.data(), 1, text.size(), file_.get());
    if (written != text.size() || std::fflush(file_.get()) != 0) {
        failWith(errno);
        return false;
    }
    return true;
}

void FileDiagnosticLog::failWith(int errorNumber) {
    // A short write without errno set still has to say something.
    lastError_ = std::system_category().message(errorNumber != 0 ? errorNumber : EIO);
    file_.reset();
    state_ = State::Off;
}

}  // namespace pelkora
