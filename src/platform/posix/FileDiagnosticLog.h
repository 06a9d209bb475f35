#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "platform/DiagnosticLog.h"

namespace pelkora {

// The diagnostic log as one text file, open from OpenDebugLog to
// CloseDebugLog. Switched off, every call returns at once and nothing is
// created. Each line is flushed as it is written, so a crash keeps everything
// logged before it.
//
// Missing directories of its path are created first. A failure to create or
// write the file is reported once, naming the file and giving the system's
// reason ("Unable to create <path>: <reason>", "Unable to write to <path>:
// <reason>"; OpenDebugLog's result, then lastError()), and switches the log
// off for the rest of the run: the program goes on without it, later calls do
// nothing and the file is never reopened, so one broken disk does not raise an
// error at every log point.
// Threading: loop thread only.
class FileDiagnosticLog : public DiagnosticLog {
  public:
    using Clock = std::function<std::tm()>;

    // The local time of now.
    static std::tm localNow();

    explicit FileDiagnosticLog(bool switchedOn, Clock clock = localNow);
    // Releases the file without a closing line: that line means an orderly end.
    ~FileDiagnosticLog() override = default;

    FileDiagnosticLog(const FileDiagnosticLog&) = delete;
    FileDiagnosticLog& operator=(const FileDiagnosticLog&) = delete;

    // Creates the missing directories of fullName, creates or truncates the
    // file and writes the opening lines. Returns false only when that failed,
    // with the message in *error (if given).
    // Does nothing when off, and after the first call.
    bool OpenDebugLog(const std::string& fullName, const std::string& programPath,
                      std::string* error);
    // Writes the closing line and closes the file; later calls do nothing.
    void CloseDebugLog();

    void logString(const std::string& name, const std::string& value) override;

    // Whether log lines are being written now.
    bool isWriting() const { return file_ != nullptr; }
    // The message for the failure that switched the log off; empty when
    // nothing failed.
    const std::string& lastError() const { return lastError_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    enum class State { Off, Ready, Open, Finished };

    bool writeWhole(const std::string& text);
    void failWith(const char* what, int errorNumber);

    State state_;
    Clock clock_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string path_;
    std::string lastError_;
};

}  // namespace pelkora
