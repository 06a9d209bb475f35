#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "core/app/MacroFieldLimit.h"
#include "ui/dialogs/MacroEditorHost.h"

class QLineEdit;
class QPushButton;

namespace pelkora {

// The modal editor of the twelve macros and button captions. It works on the
// main window's live values through MacroEditorHost: it loads them all when
// it opens, and again whenever it becomes the program's active window, then
// into the fields the user has not changed (typed text is never lost to a
// Help box); Apply writes them back, OK applies and closes, Save applies and
// has the host write the settings file, Cancel closes without applying.
// Threading: GUI thread only.
class TEditMacrosForm : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kRows = MacroFieldLimit::kRows;

    explicit TEditMacrosForm(MacroEditorHost& host, QWidget* parent = nullptr);

    void FormActivate();
    void BitBtn1Click();
    void ApplyBtnClick();
    void SaveBtnClick();
    void HelpBtnClick();

  protected:
    bool event(QEvent* event) override;

  private:
    void buildHeadings();
    void buildRow(int row);
    QPushButton* buildButton(const char* name, const QString& text, int y);
    void buildButtons();
    void chainTabOrder();
    void showError(const QString& message);
    void loadAll();

    static void load(QLineEdit& field, std::string& loaded, const std::string& value);
    // Whether the user changed the field since it was loaded or applied.
    static bool isEdited(const QLineEdit& field, const std::string& loaded);

    // The text to hand back for a field: the bytes it was loaded from while
    // the user has not changed it, so text that is not valid UTF-8 survives
    // an Apply untouched.
    static std::string fieldText(const QLineEdit* field, const std::string& loaded);

    MacroEditorHost& host_;
    std::array<QLineEdit*, kRows> captionEdits_{};
    std::array<QLineEdit*, kRows> macroEdits_{};
    MacroFieldLimit::Texts loadedCaptions_;
    MacroFieldLimit::Texts loadedMacros_;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* helpButton_ = nullptr;
};

}  // namespace pelkora
