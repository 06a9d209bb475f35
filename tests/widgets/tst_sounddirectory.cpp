#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <optional>
#include <string>

#include "ui/dialogs/TfrmSoundDirectory.h"

using pelkora::TfrmSoundDirectory;

namespace {

using Action = std::function<void(TfrmSoundDirectory&)>;

QLineEdit* directoryEdit(TfrmSoundDirectory& dialog) {
    return dialog.findChild<QLineEdit*>("DirectoryEdit1");
}

QPushButton* button(TfrmSoundDirectory& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(name);
}

// Runs the exchange as the main window does (a modal exec) and acts on the
// dialog once it is shown and active; gives up, failing the test, when it
// never is.
std::optional<std::string> exchangeWhile(TfrmSoundDirectory& dialog, const std::string& soundDir,
                                         const Action& act) {
    QElapsedTimer waited;
    waited.start();
    QTimer poll;
    poll.callOnTimeout([&] {
        if (QApplication::activeModalWidget() == &dialog && dialog.isActiveWindow()) {
            poll.stop();
            act(dialog);
        } else if (waited.hasExpired(5000)) {
            poll.stop();
            QTest::qFail("the dialog never became active", __FILE__, __LINE__);
            dialog.reject();
        }
    });
    poll.start(5);
    return dialog.exchange(soundDir);
}

void clickOk(TfrmSoundDirectory& dialog) {
    QTest::mouseClick(button(dialog, "Button1"), Qt::LeftButton);
}

}  // namespace

class TestSoundDirectory : public QObject {
    Q_OBJECT

  private slots:
    void layoutMatchesTheProgram() {
        TfrmSoundDirectory dialog;
        QCOMPARE(dialog.windowTitle(), QString("Sound directory"));
        QCOMPARE(dialog.size(), QSize(289, 101));
        QCOMPARE(directoryEdit(dialog)->geometry(), QRect(16, 16, 257, 21));
        QCOMPARE(button(dialog, "Button1")->geometry(), QRect(67, 56, 75, 25));
        QCOMPARE(button(dialog, "Button1")->text(), QString("OK"));
        QCOMPARE(button(dialog, "Button2")->geometry(), QRect(147, 56, 75, 25));
        QCOMPARE(button(dialog, "Button2")->text(), QString("Cancel"));
        QVERIFY(dialog.findChild<QAction*>("DirectoryEdit1Button"));
    }

    void okWithoutChangeKeepsSoundDirExactly_data() {
        QTest::addColumn<QByteArray>("soundDir");
        QTest::newRow("plain") << QByteArray("/home/op/sound/");
        QTest::newRow("root") << QByteArray("/");
        QTest::newRow("blank at the end") << QByteArray("/home/op/my sounds /");
        QTest::newRow("not UTF-8") << QByteArray("/home/op/\xe9t\xe9/");
    }
    void okWithoutChangeKeepsSoundDirExactly() {
        QFETCH(QByteArray, soundDir);
        TfrmSoundDirectory dialog;
        QString shown;
        const auto result =
            exchangeWhile(dialog, soundDir.toStdString(), [&](TfrmSoundDirectory& d) {
                shown = directoryEdit(d)->text();
                clickOk(d);
            });
        QCOMPARE(shown, QString::fromStdString(soundDir.toStdString()));
        QVERIFY(result);
        QCOMPARE(QByteArray::fromStdString(*result), soundDir);
    }

    void okEndsTheEnteredTextInOneSeparator_data() {
        QTest::addColumn<QString>("entered");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("separator kept") << "/snd/" << false << "/snd/";
        QTest::newRow("separator added") << "/snd" << false << "/snd/";
        QTest::newRow("empty is the root") << "" << false << "/";
        QTest::newRow("root kept") << "/" << false << "/";
        QTest::newRow("Enter acts as OK") << "/other" << true << "/other/";
    }
    void okEndsTheEnteredTextInOneSeparator() {
        QFETCH(QString, entered);
        QFETCH(bool, byEnter);
        QFETCH(QString, expected);
        TfrmSoundDirectory dialog;
        const auto result = exchangeWhile(dialog, "/start/", [&](TfrmSoundDirectory& d) {
            directoryEdit(d)->setText(entered);
            if (byEnter) {
                QTest::keyClick(directoryEdit(d), Qt::Key_Return);
            } else {
                clickOk(d);
            }
        });
        QVERIFY(result);
        QCOMPARE(QString::fromStdString(*result), expected);
    }

    void cancelLeavesSoundDirUnchanged_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("Esc") << true;
    }
    void cancelLeavesSoundDirUnchanged() {
        QFETCH(bool, byEscape);
        TfrmSoundDirectory dialog;
        const auto result = exchangeWhile(dialog, "/snd/", [&](TfrmSoundDirectory& d) {
            directoryEdit(d)->setText("/elsewhere");
            if (byEscape) {
                QTest::keyClick(directoryEdit(d), Qt::Key_Escape);
            } else {
                QTest::mouseClick(button(d, "Button2"), Qt::LeftButton);
            }
        });
        QVERIFY(!result);
    }

    void browseStartsAtTheFieldThenTheStartingDirThenRoot_data() {
        QTest::addColumn<QString>("fieldText");
        QTest::addColumn<QString>("expectedStart");
        // "@field" and "@start" stand for two directories that exist.
        QTest::newRow("field directory") << "@field"
                                         << "@field";
        QTest::newRow("empty field") << ""
                                     << "@start";
        QTest::newRow("missing directory") << "/no/such/pelkora/dir"
                                           << "/";
    }
    void browseStartsAtTheFieldThenTheStartingDirThenRoot() {
        QFETCH(QString, fieldText);
        QFETCH(QString, expectedStart);
        QTemporaryDir fieldDir;
        QTemporaryDir startDir;
        const auto resolve = [&](QString text) {
            return text.replace("@field", fieldDir.path()).replace("@start", startDir.path() + "/");
        };
        QString askedStart;
        TfrmSoundDirectory dialog(nullptr, [&](QWidget*, const QString& start) {
            askedStart = start;
            return QString("/chosen/dir");
        });
        const auto result =
            exchangeWhile(dialog, resolve("@start").toStdString(), [&](TfrmSoundDirectory& d) {
                directoryEdit(d)->setText(resolve(fieldText));
                d.findChild<QAction*>("DirectoryEdit1Button")->trigger();
                clickOk(d);
            });
        QCOMPARE(askedStart, resolve(expectedStart));
        QVERIFY(result);
        QCOMPARE(QString::fromStdString(*result), QString("/chosen/dir/"));
    }

    void cancelledChooserKeepsTheField() {
        TfrmSoundDirectory dialog(nullptr, [](QWidget*, const QString&) { return QString(); });
        const auto result = exchangeWhile(dialog, "/snd/", [&](TfrmSoundDirectory& d) {
            directoryEdit(d)->setText("/typed");
            d.findChild<QAction*>("DirectoryEdit1Button")->trigger();
            clickOk(d);
        });
        QVERIFY(result);
        QCOMPARE(*result, std::string("/typed/"));
    }
};

QTEST_MAIN(TestSoundDirectory)
#include "tst_sounddirectory.moc"
