#include "ui/dialogs/TAboutForm.h"

#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <utility>

#include "ui/dialogs/ContactLink.h"
#include "ui/dialogs/ProgramPicture.h"

namespace pelkora {

namespace {

constexpr int kLineWidth = 281;

QFont boldFont(QFont font) {
    font.setBold(true);
    return font;
}

}  // namespace

TAboutForm::TAboutForm(QWidget* parent, UrlOpener openUrl, VersionSource version)
    : QDialog(parent),
      openUrl_(openUrl ? std::move(openUrl) : UrlOpener(&openWithDesktop)),
      version_(version ? std::move(version) : VersionSource(&buildVersion)) {
    setObjectName("AboutForm");
    setWindowTitle("\\");
    setFixedSize(284, 187);
    buildTitle();
    buildCredits();

    auto* okButton = new QPushButton("OK", this);
    okButton->setObjectName("BitBtn1");
    okButton->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    okButton->setGeometry(101, 156, 75, 25);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

QString TAboutForm::buildVersion() {
    return QStringLiteral(PELKORA_VERSION);
}

QLabel* TAboutForm::addCentredLine(const QString& text, int y) {
    auto* line = new QLabel(text, this);
    line->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    line->setGeometry(0, y, kLineWidth, 16);
    return line;
}

void TAboutForm::buildTitle() {
    auto* picture = new QLabel(this);
    picture->setPixmap(programPicture(33));
    picture->setGeometry(126, 8, 33, 33);

    auto* name = new QLabel("Pelkora", this);
    QFont nameFont = boldFont(name->font());
    nameFont.setPixelSize(13);
    name->setFont(nameFont);
    name->move(112, 45);

    versionLabel_ = addCentredLine(QString(), 64);
    versionLabel_->setObjectName("VersionLabel");
    versionLabel_->setFont(boldFont(versionLabel_->font()));
}

void TAboutForm::buildCredits() {
    addCentredLine("A voice keyer for amateur-radio stations", 80);
    addCentredLine("Written by the Pelkora developers", 96);

    auto* link = new ContactLink(kContactAddress, this);
    link->setObjectName("ContactLink");
    link->move(96, 112);
    link->adjustSize();
    connect(link, &ContactLink::clicked, this, &TAboutForm::ContactLinkClick);
}

bool TAboutForm::event(QEvent* event) {
    // Show as well: a box shown again that still held the focus when it was
    // hidden is not activated a second time.
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show) {
        FormActivate();
    }
    return QDialog::event(event);
}

void TAboutForm::FormActivate() {
    versionLabel_->setText(version_());
}

void TAboutForm::ContactLinkClick() {
    openUrl_(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kContactAddress)));
}

void TAboutForm::openWithDesktop(const QUrl& url) {
    // Without a mail program there is nothing useful to tell the user: the
    // address is on screen.
    (void)QDesktopServices::openUrl(url);
}

}  // namespace pelkora
