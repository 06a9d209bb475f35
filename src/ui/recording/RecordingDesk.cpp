#include "ui/recording/RecordingDesk.h"

#include <QFileInfo>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "core/recording/RecordingList.h"
#include "platform/posix/CaseBlindPath.h"
#include "ui/recording/TRecordingsForm.h"

namespace pelkora {

RecordingDesk::RecordingDesk(TakeControl::Factory factory, ProfileStore& profiles,
                             const std::string& settingsFile, SoundOutput& sound, Sources sources,
                             QWidget* window)
    : QObject(window), sources_(std::move(sources)) {
    takes_ = new TakeControl(std::move(factory), profiles, settingsFile, this);
    takes_->busy = sources_.busy;
    form_ = new TRecordingsForm(*takes_, sound, window);
    form_->macros = sources_.macros;
    form_->soundDir = sources_.soundDir;
    noteTimer_ = new QTimer(this);
    noteTimer_->setSingleShot(true);
    noteTimer_->setInterval(kNoteMs);
    connect(noteTimer_, &QTimer::timeout, this, [this] { setNote({}); });
    connect(takes_, &TakeControl::takeStarted, this, [this] {
        noteTimer_->stop();
        note_.clear();
        emit statusChanged();
    });
    connect(takes_, &TakeControl::takeEnded, this, [this](const QString&, const QString& outcome) {
        key_ = 0;
        setNote(outcome);
    });
}

void RecordingDesk::recordMacroKey(int key) {
    if (takes_->isRecording()) {
        stopTake();
        return;
    }
    const std::string macro = sources_.macros().at(static_cast<std::size_t>(key - 1));
    const std::optional<std::string> name = RecordingList::firstSoundFile(macro);
    if (!name) {
        setNote(QString("The macro of F%1 plays no sound file: nothing to record").arg(key));
        return;
    }
    // Into the file the player opens: CQ.WAV when the macro says cq.wav.
    const std::string path = CaseBlindPath::resolve(sources_.soundDir() + *name);
    QString why;
    key_ = key;
    if (!takes_->start(path, &why)) {
        key_ = 0;
        setNote(why);
    }
}

void RecordingDesk::stopTake() {
    QString outcome;
    takes_->stop(&outcome);
}

void RecordingDesk::showWindow() {
    form_->refresh();
    if (!placed_) {
        placed_ = true;
        placeBesideWindow();
    }
    form_->show();
    form_->raise();
    form_->activateWindow();
}

void RecordingDesk::keyerChanged() {
    form_->updateButtons();
}

// First shown under the main window, or beside it, where the screen has room:
// the keys and the display stay in sight while the operator records.
void RecordingDesk::placeBesideWindow() {
    const auto* window = static_cast<QWidget*>(parent());
    const QScreen* screen = window->screen();
    if (screen == nullptr) {
        return;
    }
    const QRect room = screen->availableGeometry();
    const QRect main = window->frameGeometry();
    const QSize size = form_->frameGeometry().size();
    QPoint at(main.left(), main.bottom() + 1);
    if (at.y() + size.height() > room.bottom()) {
        at = QPoint(main.right() + 1, main.top());
    }
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    form_->move(at);
}

QString RecordingDesk::statusText() const {
    if (!takes_->isRecording()) {
        return note_;
    }
    const QString name = QFileInfo(QString::fromStdString(takes_->path())).fileName();
    const QString how = key_ > 0 ? QString("Ctrl+Shift+F%1 or Esc").arg(key_)
                                 : QString("Stop in the Recordings window or Esc");
    return "Recording " + name + "… " + how + " to stop";
}

void RecordingDesk::setNote(const QString& text) {
    note_ = text;
    if (!text.isEmpty()) {
        noteTimer_->start();
    }
    emit statusChanged();
}

}  // namespace pelkora
