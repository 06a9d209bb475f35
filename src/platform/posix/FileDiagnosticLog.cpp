#include "platform/posix/FileDiagnosticLog.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include "core/app/DebugLogFormat.h"
#include "platform/posix/ConfigLocation.h"

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
    path_ = fullName;
    // On a first start the settings directory, where the log goes, is not
    // there yet: the settings file would only create it at its first write.
    // "e": close-on-exec, so programs started later do not inherit the file.
    if (makeDirectories(directoryPart(fullName))) {
        file_.reset(std::fopen(fullName.c_str(), "wbe"));
    }
    if (!file_) {
        failWith("Unable to create ", errno);
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
        failWith("Unable to write to ", errno);
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
        failWith("Unable to write to ", errno);
        return false;
    }
    return true;
}

void FileDiagnosticLog::failWith(const char* what, int errorNumber) {
    // The operator has to find the file the message is about; a short write
    // without errno set still has to say something.
    lastError_ =
        what + path_ + ": " + std::system_category().message(errorNumber != 0 ? errorNumber : EIO);
    file_.reset();
    state_ = State::Off;
}

}  // namespace pelkora
