#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <string>

#include "platform/ProfileStore.h"
#include "platform/SoundOutput.h"
#include "ui/recording/TakeControl.h"

class QTimer;
class QWidget;

namespace pelkora {

class TRecordingsForm;

// What the main window records with: the take of Ctrl+Shift+F1..F12 (the
// first sound file of that key's macro), the Recordings window, and the line
// that tells the operator a take runs and how to end it.
// Threading: GUI thread only.
class RecordingDesk : public QObject {
    Q_OBJECT
  public:
    struct Sources {
        std::function<std::array<std::string, 12>()> macros;
        std::function<std::string()> soundDir;
        // Why nothing may be recorded or played now; empty when idle.
        std::function<std::string()> busy;
    };

    RecordingDesk(TakeControl::Factory factory, ProfileStore& profiles,
                  const std::string& settingsFile, SoundOutput& sound, Sources sources,
                  QWidget* window);

    // Starts a take of key n's first sound file, or ends the running take.
    void recordMacroKey(int key);
    bool isRecording() const { return takes_->isRecording(); }
    // Ends the running take and keeps it.
    void stopTake();
    // Drops a running take (the keyer is closing).
    void cancelTake() { takes_->cancel(); }
    void showWindow();
    // The keyer's state changed: what may be recorded or played changes too.
    void keyerChanged();
    // The recording line of the status line; empty when there is nothing to say.
    QString statusText() const;

    TakeControl& takes() { return *takes_; }
    TRecordingsForm& form() { return *form_; }

    // How long the outcome of a take stays on the status line.
    static constexpr int kNoteMs = 8000;

  signals:
    void statusChanged();

  private:
    void setNote(const QString& text);
    void placeBesideWindow();

    Sources sources_;
    TakeControl* takes_ = nullptr;
    TRecordingsForm* form_ = nullptr;
    QTimer* noteTimer_ = nullptr;
    QString note_;
    bool placed_ = false;
    int key_ = 0;  // the macro key of the running take; 0: started in the window
};

}  // namespace pelkora
