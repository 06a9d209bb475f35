#include "ui/dialogs/TfrmSoundDirectory.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <utility>

#include "core/app/SoundDirRule.h"

namespace pelkora {

TfrmSoundDirectory::TfrmSoundDirectory(QWidget* parent, DirectoryChooser chooser)
    : QDialog(parent),
      chooser_(chooser ? std::move(chooser) : DirectoryChooser(&chooseWithFileDialog)) {
    setObjectName("frmSoundDirectory");
    setWindowTitle("Sound directory");
    setFixedSize(289, 101);

    directoryEdit_ = new QLineEdit(this);
    directoryEdit_->setObjectName("DirectoryEdit1");
    directoryEdit_->setGeometry(16, 16, 257, 21);
    browseAction_ = directoryEdit_->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                              QLineEdit::TrailingPosition);
    browseAction_->setObjectName("DirectoryEdit1Button");
    browseAction_->setToolTip("Browse");
    connect(browseAction_, &QAction::triggered, this,
            &TfrmSoundDirectory::DirectoryEdit1ButtonClick);

    okButton_ = new QPushButton("OK", this);
    okButton_->setObjectName("Button1");
    okButton_->setGeometry(67, 56, 75, 25);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    cancelButton_ = new QPushButton("Cancel", this);
    cancelButton_->setObjectName("Button2");
    cancelButton_->setGeometry(147, 56, 75, 25);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<std::string> TfrmSoundDirectory::exchange(const std::string& soundDir) {
    startingSoundDir_ = soundDir;
    directoryEdit_->setText(QString::fromStdString(soundDir));
    directoryEdit_->setFocus();
    if (exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return withTrailingSeparator(fieldText());
}

std::string TfrmSoundDirectory::fieldText() const {
    const QString text = directoryEdit_->text();
    return text == QString::fromStdString(startingSoundDir_) ? startingSoundDir_
                                                             : text.toStdString();
}

void TfrmSoundDirectory::DirectoryEdit1ButtonClick() {
    const std::string start = chooserStartDirectory(
        fieldText(), startingSoundDir_,
        [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); });
    const QString chosen = chooser_(this, QString::fromStdString(start));
    if (!chosen.isEmpty()) {
        directoryEdit_->setText(chosen);
    }
}

QString TfrmSoundDirectory::chooseWithFileDialog(QWidget* parent, const QString& startDirectory) {
    return QFileDialog::getExistingDirectory(parent, "Select sound directory", startDirectory,
                                             QFileDialog::ShowDirsOnly);
}

}  // namespace pelkora
