#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

class QLabel;

namespace pelkora {

// The about box: the program's picture, name, version and makers, and a
// contact link that opens a mail to the makers. The version text is taken
// afresh each time the box becomes active.
// Threading: GUI thread only.
class TAboutForm : public QDialog {
    Q_OBJECT

  public:
    using UrlOpener = std::function<void(const QUrl&)>;
    using VersionSource = std::function<QString()>;

    static constexpr const char* kContactAddress = "pelkora@example.org";

    // Empty arguments choose the desktop's URL handler and the version this
    // program was built as.
    explicit TAboutForm(QWidget* parent = nullptr, UrlOpener openUrl = {},
                        VersionSource version = {});

    static QString buildVersion();

    void FormActivate();
    void ContactLinkClick();

  protected:
    bool event(QEvent* event) override;

  private:
    QLabel* addCentredLine(const QString& text, int y);
    void buildTitle();
    void buildCredits();

    static void openWithDesktop(const QUrl& url);

    UrlOpener openUrl_;
    VersionSource version_;
    QLabel* versionLabel_ = nullptr;
};

}  // namespace pelkora
