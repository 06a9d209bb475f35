#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ProfileStore.h"
#include "platform/TakeRecorder.h"

namespace pelkora {

// The one take the keyer records at a time, whoever started it (the
// Recordings window or Ctrl+Shift+F1..F12 in the main window). The recorder
// is made on the first take, so a keyer that never records never opens a
// record stream. With "even loudness" on, a kept take is trimmed and brought
// to the common loudness, and the undo copy stays the recording it replaced.
// Threading: GUI thread only.
class TakeControl : public QObject {
    Q_OBJECT
  public:
    using Factory = std::function<std::unique_ptr<TakeRecorder>()>;

    TakeControl(Factory factory, ProfileStore& profiles, std::string settingsFile,
                QObject* parent = nullptr);
    ~TakeControl() override;

    // Why nothing may be recorded or played now (the transmitter is keyed, a
    // macro plays); empty when the keyer is idle. Empty function: never busy.
    std::function<std::string()> busy;
    std::string busyReason() const { return busy ? busy() : std::string(); }

    // False, with the reason, when the take cannot start.
    bool start(const std::string& path, QString* why);
    // Ends the take; outcome says what became of it.
    bool stop(QString* outcome);
    // Drops a running take; the earlier recording stays.
    void cancel();
    bool isRecording() const { return recorder_ && recorder_->isRecording(); }
    // The file of the running (or last) take.
    const std::string& path() const { return path_; }
    std::int32_t readPeak() { return isRecording() ? recorder_->readPeak() : 0; }

    // Read from the settings when first asked, not at the keyer's start.
    bool evenLoudness();
    void setEvenLoudness(bool on);

    // Trims and normalises the file at path in place, keeping its undo copy
    // (the recording the last take replaced) as it was.
    static bool evenOut(const std::string& path, std::string* error);

  signals:
    void takeStarted(const QString& path);
    // After stop(), cancel() or a take that ended by itself.
    void takeEnded(const QString& path, const QString& outcome);

  private:
    void onEndedByItself(const std::string& why);

    Factory factory_;
    ProfileStore& profiles_;
    std::string settingsFile_;
    std::unique_ptr<TakeRecorder> recorder_;
    std::string path_;
    std::optional<bool> evenLoudness_;
};

}  // namespace pelkora
