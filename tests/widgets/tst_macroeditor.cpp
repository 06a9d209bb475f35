#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>

#include "ui/dialogs/TEditMacrosForm.h"

using pelkora::TEditMacrosForm;

namespace {

using Texts = std::array<std::string, 12>;

// The main window's live macros and captions, with a record of every Save.
class FakeMacroHost : public pelkora::MacroEditorHost {
  public:
    Texts macros;
    Texts captions;
    int saveCount = 0;
    Texts macrosAtSave;
    Texts captionsAtSave;
    std::optional<std::string> saveError;

    FakeMacroHost() {
        for (int n = 1; n <= 12; ++n) {
            macros[n - 1] = "~[f" + std::to_string(n) + ".wav]";
            captions[n - 1] = "Cap" + std::to_string(n);
        }
    }

    std::string macro(int n) override { return macros.at(n - 1); }
    void setMacro(int n, const std::string& text) override { macros.at(n - 1) = text; }
    std::string buttonCaption(int n) override { return captions.at(n - 1); }
    void setButtonCaption(int n, const std::string& caption) override {
        captions.at(n - 1) = caption;
    }
    void SaveMacros() override {
        ++saveCount;
        macrosAtSave = macros;
        captionsAtSave = captions;
        if (saveError) {
            throw std::runtime_error(*saveError);
        }
    }
};

struct SeenMessage {
    QString title;
    QString text;
};

// Closes every message box as soon as it is shown, recording what it said.
class MessageBoxCloser {
  public:
    MessageBoxCloser() {
        timer_.callOnTimeout([this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen.append({box->windowTitle(), box->text()});
                box->accept();
            }
        });
        timer_.start(5);
    }
    QList<SeenMessage> seen;

  private:
    QTimer timer_;
};

}  // namespace

class TestMacroEditor : public QObject {
    Q_OBJECT

  private:
    FakeMacroHost host_;
    std::optional<TEditMacrosForm> form_;

    QLineEdit* field(const QString& name) { return form_->findChild<QLineEdit*>(name); }
    QPushButton* button(const QString& name) { return form_->findChild<QPushButton*>(name); }
    bool open() {
        form_->show();
        return QTest::qWaitForWindowActive(&*form_);
    }

  private slots:
    void init() {
        host_ = FakeMacroHost();
        form_.emplace(host_);
    }
    void cleanup() { form_.reset(); }

    void layoutMatchesTheProgram_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("eCaption1") << "eCaption1" << QRect(32, 15, 89, 21);
        QTest::newRow("Edit1") << "Edit1" << QRect(131, 15, 260, 21);
        QTest::newRow("eCaption12") << "eCaption12" << QRect(32, 279, 89, 21);
        QTest::newRow("Edit12") << "Edit12" << QRect(131, 279, 260, 21);
        QTest::newRow("BitBtn1") << "BitBtn1" << QRect(407, 8, 75, 26);
        QTest::newRow("HelpBtn") << "HelpBtn" << QRect(407, 136, 75, 26);
    }
    void layoutMatchesTheProgram() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        auto* widget = form_->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
    }

    void frameAndButtons() {
        QCOMPARE(form_->windowTitle(), QString("Edit macros"));
        QCOMPARE(form_->size(), QSize(488, 305));
        QVERIFY(!(form_->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(form_->windowFlags() & Qt::WindowSystemMenuHint));
        const QStringList texts = {"OK", "Cancel", "&Apply", "Save", "&Help"};
        const QStringList names = {"BitBtn1", "CancelBtn", "ApplyBtn", "SaveBtn", "HelpBtn"};
        for (int i = 0; i < names.size(); ++i) {
            QCOMPARE(button(names[i])->text(), texts[i]);
        }
        QVERIFY(button("BitBtn1")->isDefault());
    }

    void loadsHostValuesOnOpen() {
        QVERIFY(open());
        for (int n = 1; n <= 12; ++n) {
            QCOMPARE(field(QString("Edit%1").arg(n))->text().toStdString(), host_.macros[n - 1]);
            QCOMPARE(field(QString("eCaption%1").arg(n))->text().toStdString(),
                     host_.captions[n - 1]);
        }
        QCOMPARE(QApplication::focusWidget(), field("eCaption1"));
    }

    void applyChangesTheProgramButWritesNothing() {
        QVERIFY(open());
        field("Edit3")->setText("~[tx]~[fcq.wav]~[rx]");
        field("eCaption5")->setText("CQ");
        QTest::mouseClick(button("ApplyBtn"), Qt::LeftButton);
        QCOMPARE(host_.macros[2], std::string("~[tx]~[fcq.wav]~[rx]"));
        QCOMPARE(host_.captions[4], std::string("CQ"));
        QCOMPARE(host_.saveCount, 0);
        QVERIFY(form_->isVisible());
    }

    void okAppliesAndCloses() {
        QVERIFY(open());
        field("Edit12")->setText("new");
        QTest::mouseClick(button("BitBtn1"), Qt::LeftButton);
        QCOMPARE(host_.macros[11], std::string("new"));
        QVERIFY(!form_->isVisible());
        QCOMPARE(form_->result(), int(QDialog::Accepted));
        QCOMPARE(host_.saveCount, 0);
    }

    void saveAppliesThenSavesOnceAndStaysOpen() {
        QVERIFY(open());
        field("Edit1")->setText("saved macro");
        field("eCaption1")->setText("saved caption");
        QTest::mouseClick(button("SaveBtn"), Qt::LeftButton);
        QCOMPARE(host_.saveCount, 1);
        QCOMPARE(host_.macrosAtSave[0], std::string("saved macro"));
        QCOMPARE(host_.captionsAtSave[0], std::string("saved caption"));
        QVERIFY(form_->isVisible());
    }

    void cancelAppliesNothingButKeepsEarlierApply_data() {
        QTest::addColumn<QString>("by");
        QTest::newRow("Cancel button") << "button";
        QTest::newRow("Esc") << "escape";
        // Where a window manager still offers a close box on the title bar.
        QTest::newRow("title bar close") << "close";
    }
    void cancelAppliesNothingButKeepsEarlierApply() {
        QFETCH(QString, by);
        QVERIFY(open());
        field("Edit2")->setText("applied");
        QTest::mouseClick(button("ApplyBtn"), Qt::LeftButton);
        field("Edit2")->setText("dropped");
        field("eCaption2")->setText("dropped");
        if (by == "escape") {
            QTest::keyClick(field("Edit2"), Qt::Key_Escape);
        } else if (by == "close") {
            QVERIFY(form_->close());
        } else {
            QTest::mouseClick(button("CancelBtn"), Qt::LeftButton);
        }
        QVERIFY(!form_->isVisible());
        QCOMPARE(form_->result(), int(QDialog::Rejected));
        QCOMPARE(host_.macros[1], std::string("applied"));
        QCOMPARE(host_.captions[1], std::string("Cap2"));
    }

    void enterInAnyFieldActsAsOk_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("first caption") << "eCaption1";
        QTest::newRow("middle macro") << "Edit7";
        QTest::newRow("last macro") << "Edit12";
    }
    void enterInAnyFieldActsAsOk() {
        QFETCH(QString, name);
        QVERIFY(open());
        QLineEdit* edited = field(name);
        edited->setFocus();
        edited->setText("typed");
        QTest::keyClick(edited, Qt::Key_Return);
        QVERIFY(!form_->isVisible());
        QCOMPARE(form_->result(), int(QDialog::Accepted));
        const int row = name.mid(name.startsWith("Edit") ? 4 : 8).toInt() - 1;
        const Texts& applied = name.startsWith("Edit") ? host_.macros : host_.captions;
        QCOMPARE(applied[row], std::string("typed"));
    }

    void reopeningReplacesUnappliedEdits() {
        QVERIFY(open());
        field("Edit4")->setText("not applied");
        field("Edit5")->setText("not applied either");
        QTest::mouseClick(button("CancelBtn"), Qt::LeftButton);
        QTRY_VERIFY(!form_->isActiveWindow());
        host_.macros[3] = "changed meanwhile";
        QVERIFY(open());
        QCOMPARE(field("Edit4")->text(), QString("changed meanwhile"));
        QCOMPARE(field("Edit5")->text().toStdString(), host_.macros[4]);
    }

    void returningToTheEditorKeepsWhatWasTyped_data() {
        QTest::addColumn<QString>("awayIn");
        QTest::newRow("the Help box") << "help";
        QTest::newRow("another window of the program") << "own window";
        QTest::newRow("another program") << "other program";
    }
    void returningToTheEditorKeepsWhatWasTyped() {
        QFETCH(QString, awayIn);
        QWidget ownWindow;
        ownWindow.show();
        QVERIFY(open());
        field("eCaption5")->setText("being typed");
        field("Edit9")->setText("typed too");
        // Changed elsewhere while the editor was open.
        host_.captions[6] = "changed meanwhile";
        host_.macros[8] = "not over what was typed";
        if (awayIn == "help") {
            MessageBoxCloser closer;
            QTest::mouseClick(button("HelpBtn"), Qt::LeftButton);
            QCOMPARE(closer.seen.size(), 1);
            // As the window manager hands the focus back when the box goes.
            form_->activateWindow();
            QTRY_VERIFY(form_->isActiveWindow());
        } else {
            QApplication::setActiveWindow(awayIn == "own window" ? &ownWindow : nullptr);
            QApplication::setActiveWindow(&*form_);
            QVERIFY(form_->isActiveWindow());
        }
        QCOMPARE(field("eCaption5")->text(), QString("being typed"));
        QCOMPARE(field("Edit9")->text(), QString("typed too"));
        QCOMPARE(field("eCaption7")->text(), QString("changed meanwhile"));
        QTest::mouseClick(button("ApplyBtn"), Qt::LeftButton);
        QCOMPARE(host_.captions[4], std::string("being typed"));
        QCOMPARE(host_.macros[8], std::string("typed too"));
    }

    void failingSaveShowsTheErrorAndStaysOpen() {
        host_.saveError = "Unable to write to /ro/pelkora.ini";
        QVERIFY(open());
        field("Edit6")->setText("kept");
        MessageBoxCloser closer;
        QTest::mouseClick(button("SaveBtn"), Qt::LeftButton);
        QCOMPARE(closer.seen.size(), 1);
        QCOMPARE(closer.seen[0].title, QString("Error"));
        QCOMPARE(closer.seen[0].text, QString("Unable to write to /ro/pelkora.ini"));
        QVERIFY(form_->isVisible());
        QCOMPARE(host_.macros[5], std::string("kept"));
        QTRY_COMPARE(field("Edit6")->text(), QString("kept"));
    }

    void fieldsLongerThanTheFileHoldsAreNotSaved_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("error");
        const QString cannot =
            " is longer than 2047 characters and cannot be stored in the "
            "settings file.";
        QTest::newRow("macro at the limit") << "Edit3" << 2047 << QString();
        QTest::newRow("caption at the limit") << "eCaption12" << 2047 << QString();
        QTest::newRow("macro one over") << "Edit3" << 2048 << "Macro F3" + cannot;
        QTest::newRow("caption one over") << "eCaption3" << 2048 << "Caption of F3" + cannot;
        QTest::newRow("beyond the line edit's default")
            << "Edit12" << 40000 << "Macro F12" + cannot;
    }
    void fieldsLongerThanTheFileHoldsAreNotSaved() {
        QFETCH(QString, name);
        QFETCH(int, length);
        QFETCH(QString, error);
        QVERIFY(open());
        const QString longText(length, QChar('x'));
        field(name)->setText(longText);
        MessageBoxCloser closer;
        QTest::mouseClick(button("SaveBtn"), Qt::LeftButton);
        QCOMPARE(host_.saveCount, error.isEmpty() ? 1 : 0);
        QCOMPARE(closer.seen.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty()) {
            QCOMPARE(closer.seen[0].title, QString("Error"));
            QCOMPARE(closer.seen[0].text, error);
        }
        // Nothing is cut: the running program has the whole text.
        const Texts& applied = name.startsWith("Edit") ? host_.macros : host_.captions;
        const std::string whole = longText.toStdString();
        QVERIFY(std::find(applied.begin(), applied.end(), whole) != applied.end());
        QVERIFY(form_->isVisible());
    }

    void untouchedFieldsKeepTheirBytes() {
        host_.macros[0] = "~[f\xe9t\xe9.wav]";  // Latin-1 bytes, not UTF-8
        host_.captions[0] = "\xff";
        QVERIFY(open());
        QTest::mouseClick(button("ApplyBtn"), Qt::LeftButton);
        QCOMPARE(host_.macros[0], std::string("~[f\xe9t\xe9.wav]"));
        QCOMPARE(host_.captions[0], std::string("\xff"));
    }

    void tabRunsRowByRowThenButtons() {
        QVERIFY(open());
        QStringList expected;
        for (int n = 1; n <= 12; ++n) {
            expected << QString("eCaption%1").arg(n) << QString("Edit%1").arg(n);
        }
        expected << "BitBtn1"
                 << "CancelBtn"
                 << "ApplyBtn"
                 << "SaveBtn"
                 << "HelpBtn"
                 << "eCaption1";
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, expected);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("Edit1"));
    }

    void helpShowsAMessage() {
        QVERIFY(open());
        MessageBoxCloser closer;
        QTest::mouseClick(button("HelpBtn"), Qt::LeftButton);
        QCOMPARE(closer.seen.size(), 1);
        QVERIFY(!closer.seen[0].text.isEmpty());
        QVERIFY(form_->isVisible());
    }
};

QTEST_MAIN(TestMacroEditor)
#include "tst_macroeditor.moc"
