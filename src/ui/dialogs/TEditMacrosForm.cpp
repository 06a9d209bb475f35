#include "ui/dialogs/TEditMacrosForm.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <exception>
#include <limits>

namespace pelkora {

namespace {

constexpr int kRowPitch = 24;
constexpr int kFieldTop = 15;
constexpr int kButtonX = 407;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 26;

QFont rowLabelFont(QFont font) {
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

QString fromBytes(const std::string& text) {
    return QString::fromStdString(text);
}

// Fields take any text: the toolkit would otherwise cut at 32767 characters.
QLineEdit* unlimitedLineEdit(QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setMaxLength(std::numeric_limits<int>::max());
    return field;
}

}  // namespace

TEditMacrosForm::TEditMacrosForm(MacroEditorHost& host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), host_(host) {
    setObjectName("EditMacrosForm");
    setWindowTitle("Edit macros");
    setFixedSize(488, 305);
    buildHeadings();
    for (int row = 0; row < kRows; ++row) {
        buildRow(row);
    }
    buildButtons();
    chainTabOrder();
    captionEdits_[0]->setFocus();
}

void TEditMacrosForm::buildHeadings() {
    auto* captionHeading = new QLabel("Button caption", this);
    captionHeading->move(32, 0);
    auto* macroHeading = new QLabel("Macros", this);
    macroHeading->move(132, 0);
}

void TEditMacrosForm::buildRow(int row) {
    const int number = row + 1;
    const int top = kFieldTop + kRowPitch * row;
    auto* label = new QLabel(QString("F%1").arg(number), this);
    label->setFont(rowLabelFont(label->font()));
    label->move(4, top + 1);

    auto* caption = unlimitedLineEdit(this);
    caption->setObjectName(QString("eCaption%1").arg(number));
    caption->setGeometry(32, top, 89, 21);
    captionEdits_[row] = caption;

    auto* macro = unlimitedLineEdit(this);
    macro->setObjectName(QString("Edit%1").arg(number));
    macro->setGeometry(131, top, 260, 21);
    macroEdits_[row] = macro;
}

QPushButton* TEditMacrosForm::buildButton(const char* name, const QString& text, int y) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setGeometry(kButtonX, y, kButtonWidth, kButtonHeight);
    return button;
}

void TEditMacrosForm::buildButtons() {
    okButton_ = buildButton("BitBtn1", "OK", 8);
    okButton_->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    okButton_->setDefault(true);
    cancelButton_ = buildButton("CancelBtn", "Cancel", 40);
    cancelButton_->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    applyButton_ = buildButton("ApplyBtn", "&Apply", 72);
    saveButton_ = buildButton("SaveBtn", "Save", 104);
    helpButton_ = buildButton("HelpBtn", "&Help", 136);

    connect(okButton_, &QPushButton::clicked, this, &TEditMacrosForm::BitBtn1Click);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(applyButton_, &QPushButton::clicked, this, &TEditMacrosForm::ApplyBtnClick);
    connect(saveButton_, &QPushButton::clicked, this, &TEditMacrosForm::SaveBtnClick);
    connect(helpButton_, &QPushButton::clicked, this, &TEditMacrosForm::HelpBtnClick);
}

void TEditMacrosForm::chainTabOrder() {
    QWidget* previous = nullptr;
    const auto append = [&](QWidget* next) {
        if (previous != nullptr) {
            setTabOrder(previous, next);
        }
        previous = next;
    };
    for (int row = 0; row < kRows; ++row) {
        append(captionEdits_[row]);
        append(macroEdits_[row]);
    }
    for (QWidget* button : {okButton_, cancelButton_, applyButton_, saveButton_, helpButton_}) {
        append(button);
    }
}

bool TEditMacrosForm::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::Show:
            // Opening always loads everything: what was left in the fields
            // when the editor was last closed was not applied.
            loadAll();
            break;
        case QEvent::WindowActivate:
            FormActivate();
            break;
        default:
            break;
    }
    return QDialog::event(event);
}

void TEditMacrosForm::loadAll() {
    for (int row = 0; row < kRows; ++row) {
        load(*macroEdits_[row], loadedMacros_[row], host_.macro(row + 1));
        load(*captionEdits_[row], loadedCaptions_[row], host_.buttonCaption(row + 1));
    }
}

void TEditMacrosForm::FormActivate() {
    // Back from Help, a message box or another program: a value changed
    // elsewhere in the meantime shows up, but never over what the user typed
    // and has not applied yet.
    for (int row = 0; row < kRows; ++row) {
        if (!isEdited(*macroEdits_[row], loadedMacros_[row])) {
            load(*macroEdits_[row], loadedMacros_[row], host_.macro(row + 1));
        }
        if (!isEdited(*captionEdits_[row], loadedCaptions_[row])) {
            load(*captionEdits_[row], loadedCaptions_[row], host_.buttonCaption(row + 1));
        }
    }
}

void TEditMacrosForm::load(QLineEdit& field, std::string& loaded, const std::string& value) {
    loaded = value;
    field.setText(fromBytes(value));
}

bool TEditMacrosForm::isEdited(const QLineEdit& field, const std::string& loaded) {
    return field.text() != fromBytes(loaded);
}

std::string TEditMacrosForm::fieldText(const QLineEdit* field, const std::string& loaded) {
    return isEdited(*field, loaded) ? field->text().toStdString() : loaded;
}

void TEditMacrosForm::ApplyBtnClick() {
    for (int row = 0; row < kRows; ++row) {
        loadedMacros_[row] = fieldText(macroEdits_[row], loadedMacros_[row]);
        host_.setMacro(row + 1, loadedMacros_[row]);
    }
    for (int row = 0; row < kRows; ++row) {
        loadedCaptions_[row] = fieldText(captionEdits_[row], loadedCaptions_[row]);
        host_.setButtonCaption(row + 1, loadedCaptions_[row]);
    }
}

void TEditMacrosForm::BitBtn1Click() {
    ApplyBtnClick();
    accept();
}

void TEditMacrosForm::SaveBtnClick() {
    ApplyBtnClick();
    // The applied values stay in force even when the file cannot take them.
    if (const auto tooLong = MacroFieldLimit::firstTooLong(loadedCaptions_, loadedMacros_)) {
        showError(fromBytes(*tooLong));
        return;
    }
    try {
        host_.SaveMacros();
    } catch (const std::exception& error) {
        showError(QString::fromLocal8Bit(error.what()));
    }
}

void TEditMacrosForm::HelpBtnClick() {
    QMessageBox::information(
        this, "Help",
        "Each key F1 to F12 has a button caption and a macro. A macro is a list of "
        "commands, each ending in \"]\":\n\n"
        "~[fname.wav]  play a file of the sound directory\n"
        "~[ec]  spell the call sign,  ~[er]  spell the report\n"
        "~[iName]  spell a value from the logging program\n"
        "~[p500]  pause for 500 ms\n"
        "~[tx]  key the transmitter,  ~[rx]  release it\n"
        "~[cl]  clear the play queue\n"
        "~[rp5000:3]  repeat as a beacon every 5000 ms, 3 times (0: until stopped)\n\n"
        "Apply puts the changes into use, OK applies and closes, Save also writes "
        "them to the settings file.");
}

void TEditMacrosForm::showError(const QString& message) {
    QMessageBox::critical(this, "Error", message);
}

}  // namespace pelkora
