#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/TakeRecorder.h"
#include "platform/sndfile/SoundFileTools.h"
#include "platform/sndfile/TakeWriter.h"
#include "ui/recording/TRecordingsForm.h"
#include "ui/widgets/TLedLadder.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::SoundFileTools;
using pelkora::TakeRecorder;
using pelkora::TakeWriter;
using pelkora::TRecordingsForm;
using pelkora::test::MainWindowFixture;

namespace {

constexpr int kRate = 16000;

// Samples of a take: a little silence, a tone, a little silence.
std::vector<float> toneTake(double amplitude, double hertz) {
    std::vector<float> samples(kRate / 2, 0.0f);
    for (int i = 0; i < kRate; ++i) {
        samples.push_back(static_cast<float>(amplitude * std::sin(2 * M_PI * hertz * i / kRate)));
    }
    samples.resize(samples.size() + kRate / 2, 0.0f);
    return samples;
}

bool writeTake(const std::string& path, double amplitude, double hertz) {
    TakeWriter take;
    std::string error;
    const std::vector<float> samples = toneTake(amplitude, hertz);
    return take.open(path, kRate, &error) &&
           take.write(samples.data(), static_cast<std::int64_t>(samples.size()), &error) &&
           take.finish(&error);
}

QByteArray bytesOf(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Stands in for the sound server: a take is a quiet tone, written through
// the real TakeWriter, so the file, its undo copy and its shaping are real.
struct TakeLog {
    int starts = 0;
    int stops = 0;
    int cancels = 0;
    std::string path;
};

class FakeTakeRecorder : public TakeRecorder {
  public:
    explicit FakeTakeRecorder(TakeLog& log) : log_(log) {}
    void setOnEnded(Ended ended) override { ended_ = std::move(ended); }
    bool start(const std::string& path, std::string* error) override {
        if (!take_.open(path, kRate, error)) {
            return false;
        }
        ++log_.starts;
        log_.path = path;
        return true;
    }
    bool stop(std::string* error) override {
        ++log_.stops;
        const std::vector<float> samples = toneTake(0.05, 440);
        return take_.write(samples.data(), static_cast<std::int64_t>(samples.size()), error) &&
               take_.finish(error);
    }
    void cancel() override {
        ++log_.cancels;
        take_.discard();
    }
    bool isRecording() const override { return take_.isOpen(); }
    std::int32_t readPeak() override { return kPeakMaximum / 2; }

  private:
    TakeLog& log_;
    Ended ended_;
    TakeWriter take_;
};

}  // namespace

class TestRecordings : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<MainWindowFixture> fixture_;
    TakeLog takes_;

    MainWindowFixture& fixture() { return *fixture_; }
    TRecordingsForm* openRecordings() {
        fixture().find<QAction>("Recordmessages1")->trigger();
        auto* form = fixture().window().findChild<TRecordingsForm*>("RecordingsForm");
        return form;
    }
    QPushButton* button(const char* name) {
        return fixture().window().findChild<QPushButton*>(name);
    }
    QString statusLine() {
        QCoreApplication::processEvents();
        return fixture().find<QLabel>("StatusLine")->text();
    }

  private slots:
    void init() {
        takes_ = TakeLog{};
        fixture_ = std::make_unique<MainWindowFixture>();
        fixture().recorders = [this] { return std::make_unique<FakeTakeRecorder>(takes_); };
        QVERIFY(QDir().mkpath(QString::fromStdString(fixture().soundFile(""))));
        fixture().seed("Macroses", "Macro1", "~[iCall]");
        fixture().seed("Macroses", "Macro2", "~[tx]~[fcq.wav]~[ec]~[rx]");
        fixture().seed("Macroses", "Macro3", "~[fqrz.wav]~[fcq.wav]");
    }
    void cleanup() { fixture_.reset(); }

    void listsMacroFilesThenCharactersThenOthers() {
        QVERIFY(writeTake(fixture().soundFile("CQ.WAV"), 0.3, 700));
        QVERIFY(writeTake(fixture().soundFile("B.wav"), 0.3, 500));
        QVERIFY(writeTake(fixture().soundFile("extra.wav"), 0.3, 600));
        QFile notes(QString::fromStdString(fixture().soundFile("notes.txt")));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        fixture().build();
        TRecordingsForm* form = openRecordings();
        QVERIFY(form != nullptr);
        QVERIFY(form->isVisible());
        auto* list = form->findChild<QTreeWidget*>("RecordingsList");
        QStringList names;
        QStringList lengths;
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            names.append(list->topLevelItem(row)->text(TRecordingsForm::cFile));
            lengths.append(list->topLevelItem(row)->text(TRecordingsForm::cLength));
        }
        // F2 and F3 share cq.wav (found as CQ.WAV); F4..F12 keep their default files.
        const QStringList expectedHead{"cq.wav (CQ.WAV)", "qrz.wav",       "4.wav", "5.wav",
                                       "6.wav",           "7.wav",         "8.wav", "9.wav",
                                       "a.wav",           "b.wav (B.wav)", "c.wav", "A.wav"};
        QCOMPARE(names.mid(0, expectedHead.size()), expectedHead);
        QCOMPARE(list->topLevelItem(0)->text(TRecordingsForm::cUsedBy), QString("F2, F3"));
        QCOMPARE(lengths[0], QString("2.00 s"));
        QCOMPARE(lengths[1], QString("missing"));
        QVERIFY(names.contains("B.wav"));
        QCOMPARE(lengths[names.indexOf("B.wav")], QString("2.00 s"));
        QCOMPARE(lengths[names.indexOf("C.wav")], QString("missing"));
        QCOMPARE(names[names.size() - 2], QString("stroke.wav"));
        QCOMPARE(names.last(), QString("extra.wav"));
        QVERIFY(!names.contains("notes.txt"));
        // b.wav of F11 is played from B.wav, the letter's file: not listed as an extra.
        QCOMPARE(names.count("B.wav"), 1);
        // 4.wav..9.wav are both macro and character files.
        QCOMPARE(names.size(), 11 + 37 - 6 + 1);
    }

    void nothingRecordedOrPlayedWhileTheKeyerIsBusy() {
        QVERIFY(writeTake(fixture().soundFile("cq.wav"), 0.3, 700));
        fixture().addSound("cq.wav", 2000);
        QVERIFY(fixture().buildShown());
        TRecordingsForm* form = openRecordings();
        QVERIFY(form->selectFile("cq.wav"));
        QVERIFY(button("RecordButton")->isEnabled());
        QVERIFY(button("PlayButton")->isEnabled());

        fixture().window().engine().setTxButton(true);
        for (const char* name :
             {"RecordButton", "PlayButton", "TrimButton", "NormaliseButton", "DeleteButton"}) {
            QVERIFY2(!button(name)->isEnabled(), name);
        }
        QVERIFY(form->findChild<QLabel*>("RecordingNote")->text().contains("transmitter is keyed"));
        QVERIFY(fixture().activateMainWindow());
        QTest::keyClick(&fixture().window(), Qt::Key_F2, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(takes_.starts, 0);
        QVERIFY(statusLine().contains("transmitter is keyed"));

        fixture().window().engine().setTxButton(false);
        QVERIFY(button("RecordButton")->isEnabled());
        QVERIFY(form->findChild<QLabel*>("RecordingNote")->text().isEmpty());

        // A macro that waits for the transmitter holds its queue: still busy.
        fixture().window().setMacro(4, "~[fcq.wav]");
        fixture().window().AddSoundClick(4);
        QVERIFY(!button("RecordButton")->isEnabled());
        QVERIFY(!button("PlayButton")->isEnabled());
        fixture().window().engine().EscapeKey();
        fixture().window().engine().ClearListButtonClick();
        QVERIFY(button("RecordButton")->isEnabled());

        // Play goes to the keyer's sound output and keys nothing.
        button("PlayButton")->click();
        QVERIFY(fixture().played().last().endsWith("cq.wav"));
        QVERIFY(!fixture().window().engine().txDown());
        QVERIFY(!fixture().serialLines.rts());
    }

    void undoRestoresTheEarlierRecordingByteForByte_data() {
        QTest::addColumn<bool>("evenLoudness");
        QTest::newRow("as recorded") << false;
        QTest::newRow("even loudness") << true;
    }
    void undoRestoresTheEarlierRecordingByteForByte() {
        QFETCH(bool, evenLoudness);
        const std::string path = fixture().soundFile("cq.wav");
        // Two earlier takes: the undo copy left by the first must not come back.
        QVERIFY(writeTake(path, 0.5, 300));
        QVERIFY(writeTake(path, 0.3, 700));
        const QByteArray earlier = bytesOf(path);
        fixture().build();
        TRecordingsForm* form = openRecordings();
        auto* even = form->findChild<QCheckBox*>("EvenLoudness");
        QVERIFY(even->isChecked());  // on by default
        even->setChecked(!evenLoudness);
        even->setChecked(evenLoudness);
        QCOMPARE(fixture().profiles.readString(fixture().settingsFile(), "Recording",
                                               "EvenLoudness", "?"),
                 std::string(evenLoudness ? "1" : "0"));
        QVERIFY(form->selectFile("cq.wav"));

        button("RecordButton")->click();
        QCOMPARE(takes_.starts, 1);
        QCOMPARE(takes_.path, path);
        QCOMPARE(button("RecordButton")->text(), QString("St&op"));
        auto* level = form->findChild<pelkora::TLedLadder*>("RecordLevel");
        QTRY_VERIFY(level->litCount() > 0);
        button("RecordButton")->click();
        QCOMPARE(level->litCount(), 0);
        QCOMPARE(takes_.stops, 1);
        QVERIFY(bytesOf(path) != earlier);
        std::string error;
        const auto facts = SoundFileTools::measure(path, &error);
        QVERIFY2(facts.has_value(), error.c_str());
        if (evenLoudness) {
            // Shaped: the silence around the tone cut, the level brought up.
            QVERIFY2(facts->seconds < 1.9, QByteArray::number(facts->seconds));
            QVERIFY2(std::abs(facts->loudnessLufs - SoundFileTools::kTargetLufs) < 1.5,
                     QByteArray::number(facts->loudnessLufs));
        } else {
            QCOMPARE(facts->seconds, 2.0);
        }
        QVERIFY(!std::filesystem::exists(TakeWriter::undoPathOf(path) + ".keep"));

        QVERIFY(button("UndoButton")->isEnabled());
        button("UndoButton")->click();
        QCOMPARE(bytesOf(path), earlier);
    }

    void deleteAsksAndUndoBringsTheFileBack() {
        const std::string path = fixture().soundFile("cq.wav");
        QVERIFY(writeTake(path, 0.3, 700));
        const QByteArray earlier = bytesOf(path);
        fixture().build();
        TRecordingsForm* form = openRecordings();
        QStringList questions;
        bool answer = false;
        form->confirm = [&](const QString& question) {
            questions.append(question);
            return answer;
        };
        QVERIFY(form->selectFile("cq.wav"));
        button("DeleteButton")->click();
        QCOMPARE(questions, QStringList{"Delete cq.wav?"});
        QVERIFY(std::filesystem::exists(path));
        answer = true;
        button("DeleteButton")->click();
        QVERIFY(!std::filesystem::exists(path));
        QVERIFY(form->selectFile("cq.wav"));
        auto* list = form->findChild<QTreeWidget*>("RecordingsList");
        QCOMPARE(list->currentItem()->text(TRecordingsForm::cLength), QString("missing"));
        button("UndoButton")->click();
        QCOMPARE(bytesOf(path), earlier);
    }

    // Both run on a thread of their own: the window answers meanwhile, its
    // buttons are grey until the work reports, and the list shows the result.
    void wholeDirectoryButtonsMakeAndLevelTheSet() {
        const std::string quiet = fixture().soundFile("cq.wav");
        QVERIFY(writeTake(quiet, 0.01, 700));
        QVERIFY(writeTake(fixture().soundFile("K.wav"), 0.3, 500));
        const QByteArray ownK = bytesOf(fixture().soundFile("K.wav"));
        fixture().build();
        TRecordingsForm* form = openRecordings();
        auto* note = form->findChild<QLabel*>("RecordingNote");

        button("MakeMissingButton")->click();
        QVERIFY(!button("MakeMissingButton")->isEnabled());
        QVERIFY(!button("NormaliseAllButton")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(button("MakeMissingButton")->isEnabled(), 120000);
        QVERIFY2(note->text().startsWith("Made 36 files"), qPrintable(note->text()));
        QCOMPARE(bytesOf(fixture().soundFile("K.wav")), ownK);  // a recording is never replaced
        auto* list = form->findChild<QTreeWidget*>("RecordingsList");
        for (const char* name : {"A.wav", "Z.wav", "0.wav", "stroke.wav"}) {
            QVERIFY(form->selectFile(name));
            QVERIFY2(list->currentItem()->text(TRecordingsForm::cLength) != "missing", name);
        }

        button("NormaliseAllButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(button("NormaliseAllButton")->isEnabled(), 120000);
        QVERIFY2(note->text().startsWith("Normalised"), qPrintable(note->text()));
        std::string error;
        const auto facts = SoundFileTools::measure(quiet, &error);
        QVERIFY2(facts.has_value(), error.c_str());
        QVERIFY(std::fabs(facts->loudnessLufs - SoundFileTools::kTargetLufs) < 0.5);
        QVERIFY(TakeWriter::canUndo(quiet));
    }

    void ctrlShiftFunctionKeyRecordsTheMacrosFirstFile() {
        QVERIFY(fixture().buildShown());
        QVERIFY(fixture().activateMainWindow());
        auto& window = fixture().window();
        const auto ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
        QTest::keyClick(&window, Qt::Key_F2, ctrlShift);
        QCOMPARE(takes_.starts, 1);
        QCOMPARE(takes_.path, fixture().soundFile("cq.wav"));
        QCOMPARE(statusLine().split('\n').first(),
                 QString::fromUtf8("Recording cq.wav… Ctrl+Shift+F2 or Esc to stop"));
        QVERIFY(!window.engine().txDown());  // recording keys nothing
        QTest::keyClick(&window, Qt::Key_F2, ctrlShift);
        QCOMPARE(takes_.stops, 1);
        QVERIFY(std::filesystem::exists(fixture().soundFile("cq.wav")));
        QVERIFY(statusLine().startsWith("Recorded cq.wav"));

        // Esc ends the take and is not the keyer's Esc: the transmitter keyed
        // meanwhile stays keyed.
        QTest::keyClick(&window, Qt::Key_F3, ctrlShift);
        QCOMPARE(takes_.path, fixture().soundFile("qrz.wav"));
        window.engine().setTxButton(true);
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(takes_.stops, 2);
        QVERIFY(window.engine().txDown());
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.engine().txDown());

        // A macro without a sound file says so and records nothing.
        QTest::keyClick(&window, Qt::Key_F1, ctrlShift);
        QCOMPARE(takes_.starts, 2);
        QVERIFY(statusLine().contains("The macro of F1 plays no sound file"));
        // Plain F2 still fires the macro.
        fixture().addSound("cq.wav", 300);
        QTest::keyClick(&window, Qt::Key_F2);
        QCOMPARE(takes_.starts, 2);
        QVERIFY(window.engine().txDown());
    }
};

QTEST_MAIN(TestRecordings)
#include "tst_recordings.moc"
