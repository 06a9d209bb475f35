#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

#include "ui/dialogs/TAboutForm.h"

using pelkora::TAboutForm;

class TestAbout : public QObject {
    Q_OBJECT

  private:
    QList<QUrl> opened_;

    TAboutForm::UrlOpener recordOpened() {
        return [this](const QUrl& url) { opened_.append(url); };
    }

  private slots:
    void init() { opened_.clear(); }

    void layoutMatchesTheProgram() {
        TAboutForm about;
        QCOMPARE(about.windowTitle(), QString("\\"));
        QCOMPARE(about.size(), QSize(284, 187));
        auto* ok = about.findChild<QPushButton*>("BitBtn1");
        QVERIFY(ok);
        QCOMPARE(ok->geometry(), QRect(101, 156, 75, 25));
        QCOMPARE(ok->text(), QString("OK"));
        auto* version = about.findChild<QLabel*>("VersionLabel");
        QVERIFY(version);
        QCOMPARE(version->pos(), QPoint(0, 64));
        QCOMPARE(version->width(), 281);
        QVERIFY(version->alignment() & Qt::AlignHCenter);
        QVERIFY(version->font().bold());
    }

    void versionLabelShowsTheBuildVersion() {
        TAboutForm about;
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(about.findChild<QLabel*>("VersionLabel")->text(), QString(PELKORA_VERSION));
    }

    void versionIsTakenEachTimeTheBoxBecomesActive() {
        QString built = "1.4.3";
        QWidget mainWindow;
        mainWindow.show();
        TAboutForm about(nullptr, {}, [&] { return built; });
        auto* version = about.findChild<QLabel*>("VersionLabel");
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QCOMPARE(version->text(), QString("1.4.3"));

        built = "1.5.0";
        QApplication::setActiveWindow(&mainWindow);
        QApplication::setActiveWindow(&about);
        QCOMPARE(version->text(), QString("1.5.0"));

        built = "";
        about.hide();
        about.show();
        QCOMPARE(version->text(), QString());
    }

    void contactLinkLooksLikeALink() {
        TAboutForm about(nullptr, recordOpened());
        auto* link = about.findChild<QLabel*>("ContactLink");
        QVERIFY(link);
        QCOMPARE(link->pos(), QPoint(96, 112));
        QVERIFY(link->font().underline());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(about.cursor().shape(), Qt::ArrowCursor);
    }

    void clickingTheLinkOpensAMailToTheMakers_data() {
        QTest::addColumn<Qt::MouseButton>("mouseButton");
        QTest::addColumn<int>("opens");
        QTest::newRow("left button") << Qt::LeftButton << 1;
        QTest::newRow("right button") << Qt::RightButton << 0;
    }
    void clickingTheLinkOpensAMailToTheMakers() {
        QFETCH(Qt::MouseButton, mouseButton);
        QFETCH(int, opens);
        TAboutForm about(nullptr, recordOpened());
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        QTest::mouseClick(about.findChild<QLabel*>("ContactLink"), mouseButton);
        QCOMPARE(opened_.size(), opens);
        if (opens > 0) {
            QCOMPARE(opened_[0], QUrl("mailto:pelkora@example.org"));
        }
        QVERIFY(about.isVisible());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
