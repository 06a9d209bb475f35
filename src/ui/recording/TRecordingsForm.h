#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <thread>

#include "core/recording/RecordingList.h"
#include "platform/SoundOutput.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelkora {

class TakeControl;
class TLedLadder;

// The "Recordings" tool window: the sound files the keyer needs and has,
// with their length, peak and loudness, missing ones marked, and for the
// selected file Record/Stop, Play (on the keyer's own sound output, never
// keyed), Trim, Normalise, Delete and "Undo last take"; for the whole
// directory "Normalise all" and "Make missing files by speech synthesis",
// which run off the GUI thread. Nothing is recorded or played while the keyer
// transmits or plays a macro.
// Threading: GUI thread only.
class TRecordingsForm : public QWidget {
    Q_OBJECT
  public:
    enum Column { cFile, cUsedBy, cLength, cPeak, cLoudness, cColumns };

    TRecordingsForm(TakeControl& takes, SoundOutput& sound, QWidget* parent = nullptr);
    ~TRecordingsForm() override;

    // Where the list comes from, read on every refresh.
    std::function<std::array<std::string, 12>()> macros;
    std::function<std::string()> soundDir;
    // Asks before a file is deleted; empty: the standard Qt question.
    std::function<bool(const QString& question)> confirm;

    // Reads the directory and measures the files again.
    void refresh();
    // Enables what may be done now (call when the keyer's state changes).
    void updateButtons();
    // The full path of the selected file; empty without a selection.
    std::string selectedPath() const;
    bool selectFile(const QString& name);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void buildButtons(QWidget* row);
    QPushButton* addButton(QWidget* row, const char* name, const QString& caption);
    void addItem(const RecordingItem& item, const std::string& dir);
    void recordClicked();
    void playClicked();
    void fileAction(bool (*action)(const std::string&, std::string*), const QString& done);
    void deleteClicked();
    void undoClicked();
    void onTakeEnded(const QString& path, const QString& outcome);
    // Directory-wide work: seconds of speech synthesis or of rewriting files,
    // done on a thread of its own so that the window keeps answering.
    void runJob(const QString& started, std::function<QString()> job);
    void jobDone(const QString& outcome);
    void normaliseAllClicked();
    void makeMissingClicked();
    void tick();
    void note(const QString& text);

    TakeControl& takes_;
    SoundOutput& sound_;
    bool previewing_ = false;
    QString busyNoteShown_;
    QTreeWidget* list_ = nullptr;
    QPushButton* record_ = nullptr;
    QPushButton* play_ = nullptr;
    QPushButton* trim_ = nullptr;
    QPushButton* normalise_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* undo_ = nullptr;
    QPushButton* normaliseAll_ = nullptr;
    QPushButton* makeMissing_ = nullptr;
    std::thread job_;
    bool jobRunning_ = false;
    QCheckBox* evenLoudness_ = nullptr;
    TLedLadder* level_ = nullptr;
    QLabel* note_ = nullptr;
    QTimer* levelTimer_ = nullptr;
};

}  // namespace pelkora
