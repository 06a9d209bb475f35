#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

class QAction;
class QLineEdit;
class QPushButton;

namespace pelkora {

// The modal dialog that edits SoundDir. It owns no data: exchange() fills the
// field from the caller's SoundDir and returns the new one on OK. The browse
// button at the right end of the field opens a directory chooser.
// Threading: GUI thread only.
class TfrmSoundDirectory : public QDialog {
    Q_OBJECT

  public:
    // Asks the user for a directory, starting at startDirectory; an empty
    // result means the chooser was cancelled.
    using DirectoryChooser = std::function<QString(QWidget* parent, const QString& startDirectory)>;

    // Without a chooser the dialog uses the toolkit's directory dialog.
    explicit TfrmSoundDirectory(QWidget* parent = nullptr, DirectoryChooser chooser = {});

    // Shows the dialog modally with the field set to soundDir. On OK the new
    // SoundDir (always ending in "/"); on Cancel or Esc nullopt: unchanged.
    std::optional<std::string> exchange(const std::string& soundDir);

    void DirectoryEdit1ButtonClick();

  private:
    static QString chooseWithFileDialog(QWidget* parent, const QString& startDirectory);
    // The field's text as bytes: the SoundDir it was filled with while the
    // user has not changed it, so a path that is not valid UTF-8 survives.
    std::string fieldText() const;

    QLineEdit* directoryEdit_ = nullptr;
    QAction* browseAction_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    DirectoryChooser chooser_;
    std::string startingSoundDir_;
};

}  // namespace pelkora
