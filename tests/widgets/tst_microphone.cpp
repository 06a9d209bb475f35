#include <QPushButton>
#include <QSlider>
#include <QtTest>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/MixerScene.h"
#include "platform/fake/FakeMixerLayer.h"
#include "ui/app/TVolForm.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::FakeMixerLayer;
using pelkora::TVolForm;
using pelkora::test::MainWindowFixture;
using pelkora::test::MixerScene;
using Values = std::vector<std::int32_t>;

namespace {

const QString kMicCaption("Pelkora (Microphone mode)");

// The main window on a sound card whose microphone feeds both destinations
// (playback mute on, recording level 900), the PTT on RTS of the first port.
struct MicRig {
    FakeMixerLayer layer;
    MixerScene scene{layer};
    MainWindowFixture fixture;

    MicRig() {
        fixture.mixer = &layer;
        fixture.seed("Config", "PTTPort", "1");
        fixture.seed("Config", "PTTLine", "1");
    }
    bool start() {
        const bool active = fixture.buildShown();
        layer.clearAccesses();
        return active;
    }
    QPushButton* mike() const { return fixture.find<QPushButton>("sbMike"); }
    TVolForm* volForm() { return fixture.window().findChild<TVolForm*>("VolForm"); }
    QSlider* slider(const char* name) { return volForm()->findChild<QSlider*>(name); }
    bool keyed() const { return fixture.serialLines.rts(); }
    bool wrote(const std::string& text) const {
        const std::vector<std::string> writes = scene.writes();
        return std::find(writes.begin(), writes.end(), text) != writes.end();
    }
};

void pressMike(MicRig& rig, bool altM) {
    if (!altM) {
        rig.mike()->click();
    } else {
        QTest::keyClick(&rig.fixture.window(), Qt::Key_M, Qt::AltModifier);
    }
}

}  // namespace

class tst_microphone : public QObject {
    Q_OBJECT

  private slots:
    void mikeKeysTheMicrophoneOnAirAndBack_data();
    void mikeKeysTheMicrophoneOnAirAndBack();
    void withoutUsableMixerMikeIsGreyedAndToldOnce_data();
    void withoutUsableMixerMikeIsGreyedAndToldOnce();
    void slidersWriteTheirLines_data();
    void slidersWriteTheirLines();
    void regulatorsShowTheMixerAtStart();
    void toolWindowFollowsAtItsOffset();
    void everyEndLeavesTheMicrophoneAsFound_data();
    void everyEndLeavesTheMicrophoneAsFound();
};

void tst_microphone::mikeKeysTheMicrophoneOnAirAndBack_data() {
    QTest::addColumn<bool>("altM");
    QTest::newRow("mouse") << false;
    QTest::newRow("Alt+M") << true;
}

void tst_microphone::mikeKeysTheMicrophoneOnAirAndBack() {
    QFETCH(bool, altM);
    MicRig rig;
    QVERIFY(rig.start());
    QVERIFY(rig.mike()->isEnabled());
    QVERIFY(rig.fixture.informations.isEmpty());
    QVERIFY(rig.fixture.activateMainWindow());

    pressMike(rig, altM);
    // The mnemonic clicks the button a moment after the key.
    QTRY_VERIFY(rig.mike()->isChecked());
    QVERIFY(rig.keyed());
    QCOMPARE(rig.fixture.window().windowTitle(), kMicCaption);
    // Both microphone lines at the recording level, the playback one unmuted.
    QCOMPARE(rig.slider("MikeVolume")->value(), 900);
    QCOMPARE(rig.scene.values("micout.mute"), (Values{0}));
    QCOMPARE(rig.scene.values("micout.vol"), (Values{900}));
    QCOMPARE(rig.scene.values("mic.vol"), (Values{900}));

    rig.layer.clearAccesses();
    pressMike(rig, altM);
    QTRY_VERIFY(!rig.mike()->isChecked());
    QVERIFY(!rig.keyed());
    QCOMPARE(rig.fixture.window().windowTitle(), QString("Pelkora"));
    QCOMPARE(rig.scene.writes(), (std::vector<std::string>{"micout.mute=1"}));
    QCOMPARE(rig.slider("MikeVolume")->value(), 900);  // the slider stays
    QVERIFY(rig.fixture.errors.isEmpty());
}

void tst_microphone::withoutUsableMixerMikeIsGreyedAndToldOnce_data() {
    QTest::addColumn<bool>("oneDestination");
    QTest::newRow("no mixer") << false;
    QTest::newRow("a mixer with one destination") << true;
}

void tst_microphone::withoutUsableMixerMikeIsGreyedAndToldOnce() {
    QFETCH(bool, oneDestination);
    FakeMixerLayer layer;
    MainWindowFixture fixture;
    fixture.seed("Config", "PTTPort", "1");
    if (oneDestination) {
        const int device = layer.addDevice();
        layer.addDestination(device);
        fixture.mixer = &layer;
    }
    QVERIFY(fixture.buildShown());
    QCOMPARE(fixture.informations, QStringList{"No mixer present in the system!"});
    QVERIFY(fixture.errors.isEmpty());
    auto* mike = fixture.find<QPushButton>("sbMike");
    QVERIFY(!mike->isEnabled());
    auto* volForm = fixture.window().findChild<TVolForm*>("VolForm");
    QVERIFY(!volForm->findChild<QSlider*>("LineVolume")->isEnabled());

    QVERIFY(fixture.activateMainWindow());
    QTest::keyClick(&fixture.window(), Qt::Key_M, Qt::AltModifier);
    mike->click();      // a disabled button ignores it
    QTest::qWait(300);  // past the moment a mnemonic would click
    QVERIFY(!mike->isChecked());
    QVERIFY(!fixture.serialLines.rts());
    QCOMPARE(fixture.window().windowTitle(), QString("Pelkora"));
    QCOMPARE(fixture.informations.size(), 1);
    QVERIFY(layer.writes().empty());
}

void tst_microphone::slidersWriteTheirLines_data() {
    QTest::addColumn<bool>("mikeOn");
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("changed");  // control=values after the move
    QTest::addColumn<QStringList>("untouched");
    QTest::newRow("Mike while up writes nothing")
        << false << "MikeVolume" << 1234 << QStringList{}
        << QStringList{"mic.vol", "micout.vol", "master.vol"};
    QTest::newRow("Mike while down writes both microphones")
        << true << "MikeVolume" << 1234 << QStringList{"mic.vol=1234", "micout.vol=1234"}
        << QStringList{"master.vol"};
    QTest::newRow("Line writes the playback master, unmuted")
        << false << "LineVolume" << 40000 << QStringList{"master.vol=40000,40000", "master.mute=0"}
        << QStringList{"mic.vol", "micout.vol"};
}

void tst_microphone::slidersWriteTheirLines() {
    QFETCH(bool, mikeOn);
    QFETCH(QString, slider);
    QFETCH(int, value);
    QFETCH(QStringList, changed);
    QFETCH(QStringList, untouched);
    MicRig rig;
    QVERIFY(rig.start());
    if (mikeOn) {
        rig.mike()->click();
    }
    rig.layer.setValues(rig.scene.ids.at("master.mute"), {1});
    rig.layer.clearAccesses();

    rig.slider(qPrintable(slider))->setValue(value);  // as the operator's drag
    for (const QString& write : changed) {
        QVERIFY2(rig.wrote(write.toStdString()), qPrintable(write));
    }
    for (const QString& name : untouched) {
        for (const std::string& write : rig.scene.writes()) {
            QVERIFY2(write.rfind(name.toStdString() + "=", 0) != 0, write.c_str());
        }
    }
    if (changed.isEmpty()) {
        QVERIFY(rig.layer.writes().empty());
    }
    QCOMPARE(rig.keyed(), mikeOn);  // a regulator never keys or releases
}

void tst_microphone::regulatorsShowTheMixerAtStart() {
    MicRig rig;
    rig.layer.setValues(rig.scene.ids.at("master.vol"), {600, 300});
    rig.layer.setValues(rig.scene.ids.at("master.mute"), {1});
    QVERIFY(rig.start());
    QVERIFY(rig.volForm()->isVisible());
    QVERIFY(rig.slider("MikeVolume")->isEnabled());
    QCOMPARE(rig.slider("MikeVolume")->value(), 900);
    QCOMPARE(rig.slider("LineVolume")->value(), 600);
    // A new Line value goes to the master on both channels, unmuted; the
    // microphone is not touched while Mike is up.
    QCOMPARE(rig.scene.values("master.vol"), (Values{600, 600}));
    QCOMPARE(rig.scene.values("master.mute"), (Values{0}));
    QCOMPARE(rig.scene.values("micout.mute"), (Values{1}));
    QCOMPARE(rig.scene.values("micout.vol"), (Values{50}));
    QVERIFY(!rig.keyed());
}

void tst_microphone::toolWindowFollowsAtItsOffset() {
    MicRig rig;
    QVERIFY(rig.start());
    auto& main = rig.fixture.window();
    TVolForm* tool = rig.volForm();
    QVERIFY(tool->isVisible());
    const QPoint offset = tool->pos() - main.pos();

    main.move(main.pos() + QPoint(40, 25));
    QTRY_COMPARE(tool->pos(), main.pos() + offset);

    // The operator drags the tool window 30 pixels right: the main window
    // then takes it along at the new offset.
    tool->move(tool->pos() + QPoint(30, 0));
    QCoreApplication::processEvents();
    main.move(main.pos() + QPoint(-60, 10));
    QTRY_COMPARE(tool->pos(), main.pos() + offset + QPoint(30, 0));

    // Closed, it still follows.
    tool->close();
    main.move(main.pos() + QPoint(5, 5));
    QTRY_COMPARE(tool->pos(), main.pos() + offset + QPoint(30, 0));
}

void tst_microphone::everyEndLeavesTheMicrophoneAsFound_data() {
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("muteWrites");  // how often the mute went back on
    QTest::newRow("closed by the operator") << "close" << 1;
    QTest::newRow("ended by automation, no close") << "destroy" << 1;
    // Leaving the mode mutes; the end still puts back the state found.
    QTest::newRow("fault, then the end") << "fault" << 2;
}

void tst_microphone::everyEndLeavesTheMicrophoneAsFound() {
    QFETCH(QString, end);
    QFETCH(int, muteWrites);
    MicRig rig;
    QVERIFY(rig.start());
    rig.mike()->click();
    QVERIFY(rig.keyed());
    QCOMPARE(rig.scene.values("micout.mute"), (Values{0}));

    if (end == "close") {
        QVERIFY(rig.fixture.window().close());
        // The mute is back as the close writes its settings.
        QCOMPARE(rig.scene.values("micout.mute"), (Values{1}));
    } else if (end == "fault") {
        rig.fixture.window().reportFault("test fault");
        QVERIFY(!rig.keyed());
        QVERIFY(!rig.mike()->isChecked());
        QCOMPARE(rig.fixture.window().windowTitle(), QString("Pelkora"));
        QCOMPARE(rig.scene.values("micout.mute"), (Values{1}));
    }
    rig.fixture.destroyWindow();
    QVERIFY(!rig.keyed());
    QCOMPARE(rig.scene.values("micout.mute"), (Values{1}));
    // A close that restored it is not followed by a second write at the end.
    const std::vector<std::string> writes = rig.scene.writes();
    QCOMPARE(std::count(writes.begin(), writes.end(), "micout.mute=1"), muteWrites);
}

QTEST_MAIN(tst_microphone)
#include "tst_microphone.moc"
