#include "ui/recording/TakeControl.h"

#include <QFileInfo>
#include <filesystem>
#include <utility>

#include "core/settings/ProfileInteger.h"
#include "platform/sndfile/SoundFileTools.h"
#include "platform/sndfile/TakeWriter.h"

namespace pelkora {

namespace {

const char* const kSection = "Recording";
const char* const kEvenLoudnessKey = "EvenLoudness";

QString fileNameOf(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).fileName();
}

}  // namespace

TakeControl::TakeControl(Factory factory, ProfileStore& profiles, std::string settingsFile,
                         QObject* parent)
    : QObject(parent),
      factory_(std::move(factory)),
      profiles_(profiles),
      settingsFile_(std::move(settingsFile)) {}

TakeControl::~TakeControl() {
    if (isRecording()) {
        recorder_->cancel();
    }
}

bool TakeControl::evenLoudness() {
    if (!evenLoudness_) {
        evenLoudness_ = readProfileBool(profiles_, settingsFile_, kSection, kEvenLoudnessKey, true);
    }
    return *evenLoudness_;
}

void TakeControl::setEvenLoudness(bool on) {
    evenLoudness_ = on;
    writeProfileBool(profiles_, settingsFile_, kSection, kEvenLoudnessKey, on);
}

bool TakeControl::start(const std::string& path, QString* why) {
    if (isRecording()) {
        *why = "A take of " + fileNameOf(path_) + " is being recorded: stop it first";
        return false;
    }
    if (const std::string busyNow = busyReason(); !busyNow.empty()) {
        *why = QString::fromStdString(busyNow);
        return false;
    }
    if (!recorder_) {
        recorder_ = factory_ ? factory_() : nullptr;
        if (!recorder_) {
            *why = "Nothing to record from: no sound server";
            return false;
        }
        recorder_->setOnEnded([this](const std::string& reason) { onEndedByItself(reason); });
    }
    std::string error;
    if (!recorder_->start(path, &error)) {
        *why = "Cannot record " + fileNameOf(path) + ": " + QString::fromStdString(error);
        return false;
    }
    path_ = path;
    emit takeStarted(QString::fromStdString(path_));
    return true;
}

bool TakeControl::stop(QString* outcome) {
    if (!isRecording()) {
        *outcome = "Nothing is being recorded";
        return false;
    }
    std::string error;
    const bool kept = recorder_->stop(&error);
    const QString name = fileNameOf(path_);
    if (!kept) {
        *outcome = "The take of " + name + " was not kept: " + QString::fromStdString(error);
    } else if (evenLoudness() && !evenOut(path_, &error)) {
        *outcome = "Recorded " + name +
                   ", but its loudness was left as recorded: " + QString::fromStdString(error);
    } else {
        *outcome = "Recorded " + name;
    }
    emit takeEnded(QString::fromStdString(path_), *outcome);
    return kept;
}

void TakeControl::cancel() {
    if (!isRecording()) {
        return;
    }
    recorder_->cancel();
    emit takeEnded(QString::fromStdString(path_),
                   "The take of " + fileNameOf(path_) + " was dropped");
}

void TakeControl::onEndedByItself(const std::string& why) {
    emit takeEnded(
        QString::fromStdString(path_),
        "The take of " + fileNameOf(path_) + " was dropped: " + QString::fromStdString(why));
}

bool TakeControl::evenOut(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    // Trimming and normalising each keep what they replace as the undo copy;
    // the operator's undo must still bring back the recording before the take.
    const fs::path undo = TakeWriter::undoPathOf(path);
    const fs::path kept = undo.string() + ".keep";
    std::error_code code;
    const bool hadUndo = fs::is_regular_file(fs::symlink_status(undo, code));
    if (hadUndo) {
        fs::rename(undo, kept, code);
        if (code) {
            *error = "cannot keep the undo copy aside: " + code.message();
            return false;
        }
    }
    const bool shaped = SoundFileTools::trim(path, error) && SoundFileTools::normalise(path, error);
    if (hadUndo) {
        fs::rename(kept, undo, code);
    } else {
        fs::remove(undo, code);
    }
    if (code && shaped) {
        *error = "the undo copy could not be put back: " + code.message();
        return false;
    }
    return shaped;
}

}  // namespace pelkora
