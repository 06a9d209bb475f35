#include "ui/recording/TRecordingsForm.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/TakeRecorder.h"
#include "platform/posix/CaseBlindPath.h"
#include "platform/sndfile/SoundFileTools.h"
#include "platform/sndfile/TakeWriter.h"
#include "platform/speech/StarterSet.h"
#include "ui/recording/TakeControl.h"
#include "ui/widgets/TLedLadder.h"

namespace pelkora {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLevelTickMs = 50;

QString usedBy(const RecordingItem& item) {
    if (item.kind == RecordingItem::Kind::Character) {
        return "spelling";
    }
    QStringList keys;
    for (const int key : item.keys) {
        keys.append(QString("F%1").arg(key));
    }
    return keys.join(", ");
}

QString decibels(double value, const char* unit) {
    return value <= -199 ? QString("silent") : QString("%1 %2").arg(value, 0, 'f', 1).arg(unit);
}

std::vector<std::string> wavNames(const std::string& dir) {
    std::vector<std::string> names;
    const QStringList entries =
        QDir(QString::fromStdString(dir)).entryList({"*.wav", "*.WAV", "*.Wav"}, QDir::Files);
    for (const QString& entry : entries) {
        names.push_back(entry.toStdString());
    }
    return names;
}

}  // namespace

TRecordingsForm::TRecordingsForm(TakeControl& takes, SoundOutput& sound, QWidget* parent)
    : QWidget(parent, Qt::Tool), takes_(takes), sound_(sound) {
    setObjectName("RecordingsForm");
    setWindowTitle("Recordings");
    auto* column = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setObjectName("RecordingsList");
    list_->setColumnCount(cColumns);
    list_->setHeaderLabels({"File", "Used by", "Length", "Peak", "Loudness"});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(cFile, QHeaderView::Stretch);
    column->addWidget(list_, 1);
    auto* buttons = new QWidget(this);
    buildButtons(buttons);
    column->addWidget(buttons);
    auto* wholeSet = new QHBoxLayout;
    normaliseAll_ = new QPushButton("Normalise all", this);
    normaliseAll_->setObjectName("NormaliseAllButton");
    makeMissing_ = new QPushButton("Make missing files by speech synthesis", this);
    makeMissing_->setObjectName("MakeMissingButton");
    wholeSet->addWidget(normaliseAll_);
    wholeSet->addWidget(makeMissing_);
    wholeSet->addStretch(1);
    column->addLayout(wholeSet);
    connect(normaliseAll_, &QPushButton::clicked, this, &TRecordingsForm::normaliseAllClicked);
    connect(makeMissing_, &QPushButton::clicked, this, &TRecordingsForm::makeMissingClicked);
    auto* levelRow = new QHBoxLayout;
    evenLoudness_ = new QCheckBox("&Even loudness on save", this);
    evenLoudness_->setObjectName("EvenLoudness");
    level_ = new TLedLadder(this);
    level_->setObjectName("RecordLevel");
    level_->setOrientation(TLedLadder::trHorizontal);
    level_->setLedCount(20);
    level_->setMax(TakeRecorder::kPeakMaximum);
    level_->setBorderStyle(TLedLadder::bsNone);
    level_->setSpacing(0);
    level_->setFixedSize(161, 21);
    levelRow->addWidget(evenLoudness_);
    levelRow->addStretch(1);
    levelRow->addWidget(new QLabel("Level", this));
    levelRow->addWidget(level_);
    column->addLayout(levelRow);
    note_ = new QLabel(this);
    note_->setObjectName("RecordingNote");
    note_->setWordWrap(true);
    note_->setTextFormat(Qt::PlainText);
    column->addWidget(note_);
    levelTimer_ = new QTimer(this);
    levelTimer_->setObjectName("LevelTimer");
    levelTimer_->setInterval(kLevelTickMs);
    connect(levelTimer_, &QTimer::timeout, this, &TRecordingsForm::tick);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    connect(evenLoudness_, &QCheckBox::toggled, this, [this](bool on) {
        try {
            takes_.setEvenLoudness(on);
        } catch (const std::exception& error) {
            note(QString::fromUtf8(error.what()));
        }
    });
    connect(&takes_, &TakeControl::takeStarted, this, [this] {
        levelTimer_->start();
        updateButtons();
    });
    connect(&takes_, &TakeControl::takeEnded, this, &TRecordingsForm::onTakeEnded);
    resize(620, 480);
}

TRecordingsForm::~TRecordingsForm() {
    // The preview's end would be reported to a window that is gone.
    if (previewing_) {
        sound_.stop();
    }
    // A file half-way through its rename must not be cut off by the exit.
    if (job_.joinable()) {
        job_.join();
    }
}

void TRecordingsForm::buildButtons(QWidget* row) {
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    // Mnemonics apart from the main window's: its Alt keys stay live while
    // this tool window has the focus, and a key both claim would do nothing.
    record_ = addButton(row, "RecordButton", "Rec&ord");
    play_ = addButton(row, "PlayButton", "Pla&y");
    trim_ = addButton(row, "TrimButton", "Tr&im");
    normalise_ = addButton(row, "NormaliseButton", "&Normalise");
    delete_ = addButton(row, "DeleteButton", "&Delete");
    undo_ = addButton(row, "UndoButton", "&Undo last take");
    layout->addStretch(1);
    connect(record_, &QPushButton::clicked, this, &TRecordingsForm::recordClicked);
    connect(play_, &QPushButton::clicked, this, &TRecordingsForm::playClicked);
    connect(trim_, &QPushButton::clicked, this,
            [this] { fileAction(&SoundFileTools::trim, "Trimmed"); });
    connect(normalise_, &QPushButton::clicked, this,
            [this] { fileAction(&SoundFileTools::normalise, "Normalised"); });
    connect(delete_, &QPushButton::clicked, this, &TRecordingsForm::deleteClicked);
    connect(undo_, &QPushButton::clicked, this, &TRecordingsForm::undoClicked);
}

QPushButton* TRecordingsForm::addButton(QWidget* row, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, row);
    button->setObjectName(name);
    row->layout()->addWidget(button);
    return button;
}

void TRecordingsForm::refresh() {
    {
        const QSignalBlocker quiet(evenLoudness_);
        evenLoudness_->setChecked(takes_.evenLoudness());
    }
    const QString selected = list_->currentItem() ? list_->currentItem()->text(cFile) : QString();
    const std::string dir = soundDir ? soundDir() : std::string();
    const std::vector<std::string> names = wavNames(dir);
    const auto find = [&dir](const std::string& name) -> std::optional<std::string> {
        const std::string resolved = CaseBlindPath::resolve(dir + name);
        if (!QFileInfo::exists(QString::fromStdString(resolved))) {
            return std::nullopt;
        }
        return resolved.rfind(dir, 0) == 0 ? resolved.substr(dir.size()) : resolved;
    };
    list_->clear();
    for (const RecordingItem& item :
         RecordingList::build(macros ? macros() : std::array<std::string, 12>{}, names, find)) {
        addItem(item, dir);
    }
    for (int column = cUsedBy; column < cColumns; ++column) {
        list_->resizeColumnToContents(column);
    }
    if (!selected.isEmpty()) {
        selectFile(selected);
    }
    updateButtons();
}

void TRecordingsForm::addItem(const RecordingItem& item, const std::string& dir) {
    auto* row = new QTreeWidgetItem(list_);
    QString name = QString::fromStdString(item.name);
    if (item.present() && item.foundAs != item.name) {
        name += " (" + QString::fromStdString(item.foundAs) + ")";
    }
    row->setText(cFile, name);
    row->setText(cUsedBy, usedBy(item));
    row->setData(cFile, kPathRole, QString::fromStdString(dir + item.recordName()));
    if (!item.present()) {
        row->setText(cLength, "missing");
        for (int column = 0; column < cColumns; ++column) {
            row->setForeground(column, QColor(0xb0, 0x00, 0x00));
        }
        QFont font = row->font(cFile);
        font.setBold(true);
        row->setFont(cLength, font);
        row->setToolTip(cFile, "Not recorded yet: select it and press Record");
        return;
    }
    std::string error;
    if (const auto facts = SoundFileTools::measure(dir + item.recordName(), &error)) {
        row->setText(cLength, QString("%1 s").arg(facts->seconds, 0, 'f', 2));
        row->setText(cPeak, decibels(facts->peakDbfs, "dBFS"));
        row->setText(cLoudness, decibels(facts->loudnessLufs, "LUFS"));
    } else {
        row->setText(cLength, "unreadable");
        row->setToolTip(cLength, QString::fromStdString(error));
    }
}

bool TRecordingsForm::selectFile(const QString& name) {
    for (int index = 0; index < list_->topLevelItemCount(); ++index) {
        QTreeWidgetItem* item = list_->topLevelItem(index);
        if (item->text(cFile) == name ||
            QFileInfo(item->data(cFile, kPathRole).toString()).fileName() == name) {
            list_->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

std::string TRecordingsForm::selectedPath() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item ? item->data(cFile, kPathRole).toString().toStdString() : std::string();
}

void TRecordingsForm::updateButtons() {
    const std::string path = selectedPath();
    const bool recording = takes_.isRecording();
    const bool busy = !takes_.busyReason().empty();
    const bool exists = !path.empty() && std::filesystem::exists(path);
    const bool idle = !recording && !busy && !previewing_ && !jobRunning_;
    normaliseAll_->setEnabled(idle);
    makeMissing_->setEnabled(idle);
    record_->setText(recording ? "St&op" : "Rec&ord");
    record_->setEnabled(recording || (idle && !path.empty()));
    play_->setText(previewing_ ? "Stop pla&ying" : "Pla&y");
    play_->setEnabled(previewing_ || (idle && exists));
    trim_->setEnabled(idle && exists);
    normalise_->setEnabled(idle && exists);
    delete_->setEnabled(idle && exists);
    undo_->setEnabled(idle && !path.empty() && TakeWriter::canUndo(path));
    list_->setEnabled(!recording);
    // Why the buttons are grey, for as long as they are.
    const QString busyNote = QString::fromStdString(takes_.busyReason());
    if (busy && !recording) {
        note(busyNote);
    } else if (!busyNoteShown_.isEmpty() && note_->text() == busyNoteShown_) {
        note({});
    }
    busyNoteShown_ = busy && !recording ? busyNote : QString();
}

void TRecordingsForm::recordClicked() {
    QString outcome;
    if (takes_.isRecording()) {
        takes_.stop(&outcome);
        return;  // the take's end refreshes the list and says what became of it
    }
    if (takes_.start(selectedPath(), &outcome)) {
        note("Recording " + QFileInfo(QString::fromStdString(takes_.path())).fileName() +
             "… Stop (or Esc) ends the take");
    } else {
        note(outcome);
    }
}

void TRecordingsForm::playClicked() {
    if (previewing_) {
        sound_.stop();
        previewing_ = false;
        updateButtons();
        return;
    }
    if (const std::string busy = takes_.busyReason(); !busy.empty()) {
        note(QString::fromStdString(busy));
        return;
    }
    // Played on the keyer's own output with the transmitter left alone: the
    // operator hears the take, the station does not send it.
    const PlayStart started = sound_.play(selectedPath(), [this] {
        previewing_ = false;
        updateButtons();
    });
    if (!started) {
        note("Cannot play: " + QString::fromStdString(started.refusal));
        return;
    }
    previewing_ = true;
    levelTimer_->start();
    updateButtons();
}

void TRecordingsForm::fileAction(bool (*action)(const std::string&, std::string*),
                                 const QString& done) {
    const std::string path = selectedPath();
    std::string error;
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    note(action(path, &error) ? done + " " + name : name + ": " + QString::fromStdString(error));
    refresh();
}

void TRecordingsForm::deleteClicked() {
    const std::string path = selectedPath();
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    const QString question = "Delete " + name + "?";
    const bool yes = confirm
                         ? confirm(question)
                         : QMessageBox::question(this, "Recordings", question) == QMessageBox::Yes;
    if (!yes) {
        return;
    }
    // Kept as the undo copy, so that "Undo last take" brings it back.
    std::error_code code;
    std::filesystem::rename(path, TakeWriter::undoPathOf(path), code);
    note(code ? "Cannot delete " + name + ": " + QString::fromStdString(code.message())
              : "Deleted " + name + " (Undo last take brings it back)");
    refresh();
}

void TRecordingsForm::undoClicked() {
    const std::string path = selectedPath();
    std::string error;
    const QString name = QFileInfo(QString::fromStdString(path)).fileName();
    note(TakeWriter::undo(path, &error) ? name + ": the earlier recording is back"
                                        : name + ": " + QString::fromStdString(error));
    refresh();
}

void TRecordingsForm::runJob(const QString& started, std::function<QString()> job) {
    if (job_.joinable()) {
        job_.join();  // the last one has reported already
    }
    jobRunning_ = true;
    note(started);
    updateButtons();
    QPointer<TRecordingsForm> self(this);
    job_ = std::thread([self, job = std::move(job)] {
        QString outcome;
        try {
            outcome = job();
        } catch (const std::exception& error) {
            outcome = QString::fromUtf8(error.what());
        } catch (...) {
            outcome = "The work stopped on an unknown error";
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, outcome] {
                if (self) {
                    self->jobDone(outcome);
                }
            },
            Qt::QueuedConnection);
    });
}

void TRecordingsForm::jobDone(const QString& outcome) {
    jobRunning_ = false;
    note(outcome);
    refresh();
}

void TRecordingsForm::normaliseAllClicked() {
    const std::string dir = soundDir ? soundDir() : std::string();
    runJob("Normalising every file of the sound directory…", [dir] {
        std::string error;
        const std::vector<SoundFileResult> results = SoundFileTools::normaliseAll(dir, &error);
        if (!error.empty()) {
            return QString::fromStdString(error);
        }
        int changed = 0;
        int kept = 0;
        QStringList failures;
        for (const SoundFileResult& result : results) {
            if (!result.ok) {
                failures.append(QString::fromStdString(result.name + ": " + result.error));
            } else if (result.changed) {
                ++changed;
            } else {
                ++kept;
            }
        }
        QString outcome = QString(
                              "Normalised %1 files; %2 were at the target already (undo "
                              "copies kept)")
                              .arg(changed)
                              .arg(kept);
        if (!failures.isEmpty()) {
            outcome += ". Not normalised: " + failures.join("; ");
        }
        return outcome;
    });
}

void TRecordingsForm::makeMissingClicked() {
    const std::string dir = soundDir ? soundDir() : std::string();
    runJob("Making the missing character files by speech synthesis…", [dir] {
        std::string error;
        const std::vector<StarterResult> results = StarterSet::make(dir, true, &error);
        if (!error.empty()) {
            return QString::fromStdString(error);
        }
        int made = 0;
        QStringList failures;
        for (const StarterResult& result : results) {
            if (result.outcome == StarterResult::Outcome::Made) {
                ++made;
            } else if (result.outcome == StarterResult::Outcome::Failed) {
                failures.append(QString::fromStdString(result.name + ": " + result.error));
            }
        }
        QString outcome = made == 0 ? QString("Nothing was missing")
                                    : QString("Made %1 files by speech synthesis").arg(made);
        if (!failures.isEmpty()) {
            outcome += ". Not made: " + failures.join("; ");
        }
        return outcome;
    });
}

void TRecordingsForm::onTakeEnded(const QString&, const QString& outcome) {
    note(outcome);
    level_->setPosition(0);
    refresh();
}

void TRecordingsForm::tick() {
    if (previewing_ && !sound_.isPlaying()) {
        // The keyer's own sound cut the preview: its end was never reported.
        previewing_ = false;
        updateButtons();
    }
    if (!takes_.isRecording() && !previewing_) {
        levelTimer_->stop();
    }
    level_->setPosition(takes_.readPeak());
}

void TRecordingsForm::note(const QString& text) {
    note_->setText(text);
}

void TRecordingsForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && takes_.isRecording()) {
        QString outcome;
        takes_.stop(&outcome);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace pelkora
