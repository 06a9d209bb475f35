#include <QDir>
#include <QImage>
#include <QPaintEvent>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <vector>

#include "core/MeterMixerFake.h"
#include "ui/widgets/TLedLadder.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::DesktopServices;
using pelkora::TLedLadder;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;
using pelkora::test::MeterMixerFake;

namespace {

constexpr std::uint32_t kMeterId = 40;

// Counts the paints a widget gets and keeps the area of the last one.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* watched) { watched->installEventFilter(this); }
    int count = 0;
    QRect lastArea;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
            lastArea = static_cast<QPaintEvent*>(event)->rect();
        }
        return false;
    }
};

// The main window's bar, on its own.
void makeMainBar(TLedLadder& bar) {
    bar.resize(121, 21);
    bar.setOrientation(TLedLadder::trHorizontal);
    bar.setLedCount(20);
    bar.setBorderStyle(TLedLadder::bsNone);
    bar.setSpacing(0);
    bar.setMax(32767);
}

QString shotDir() {
    const QString dir = QCoreApplication::applicationDirPath() + "/levelmeter-shots";
    QDir().mkpath(dir);
    return dir;
}

// A mixer whose playback destination carries a peak meter.
MeterMixerFake meteredMixer() {
    MeterMixerFake fake;
    MeterMixerFake::Device device;
    device.destinations.push_back(MeterMixerFake::line(
        1, {MeterMixerFake::control(kMeterId - 1, pelkora::mixer::kVolume),
            MeterMixerFake::control(kMeterId, pelkora::mixer::kPeakMeter, 32767)}));
    fake.devices = {device};
    return fake;
}

}  // namespace

class tst_levelmeter : public QObject {
    Q_OBJECT

  private slots:
    void propertiesKeepTheirRules();
    void positionRepaintsOnlyChangedLeds();
    void paintsZonesBevelAndBorder();
    void screenshots();
    void mainWindowBarFollowsTheFirstMeter();
    void mainWindowWithoutMixerStaysDark();

  private:
    std::unique_ptr<TPelkoranForm> meteredWindow(MainWindowFixture& fixture, MeterMixerFake& mixer);
};

void tst_levelmeter::propertiesKeepTheirRules() {
    TLedLadder bar;
    // A new bar.
    QCOMPARE(bar.size(), QSize(30, 200));
    QCOMPARE(bar.Orientation(), TLedLadder::trVertical);
    QCOMPARE(bar.LedCount(), 10);
    QCOMPARE(bar.BorderStyle(), TLedLadder::bsSingle);
    QVERIFY(bar.Ctl3D());
    QCOMPARE(bar.Spacing(), 2);
    QCOMPARE(bar.Min(), 0);
    QCOMPARE(bar.Max(), 10);
    QCOMPARE(bar.Position(), 0);
    for (int given : {0, -5}) {
        bar.setLedCount(given);
        QCOMPARE(bar.LedCount(), 1);
    }
    // A scale change relights the bar at the same position.
    bar.setLedCount(20);
    bar.setPosition(5);
    QCOMPARE(bar.litCount(), 10);
    bar.setMax(20);
    QCOMPARE(bar.litCount(), 5);
}

void tst_levelmeter::positionRepaintsOnlyChangedLeds() {
    TLedLadder bar;  // vertical, bordered, 30 × 200, spacing 2
    bar.setMax(100);
    PaintCounter paints(&bar);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    QTRY_VERIFY(paints.count > 0);
    QTest::qWait(20);  // whatever else showing asked for
    int before = paints.count;

    bar.setPosition(0);  // unchanged
    bar.setPosition(4);  // still no LED lit
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, before);

    bar.setPosition(30);  // LEDs 0..2 go on
    QTRY_COMPARE(paints.count, before + 1);
    // LEDs 0 to 2 are y 140..198; the border (x 0, y 199) is left alone.
    QCOMPARE(paints.lastArea, QRect(QPoint(1, 140), QPoint(28, 197)));
    before = paints.count;

    bar.setPosition(31);  // same three LEDs
    QCoreApplication::processEvents();
    QCOMPARE(paints.count, before);
    QCOMPARE(bar.litCount(), 3);
}

void tst_levelmeter::paintsZonesBevelAndBorder() {
    TLedLadder bar;
    makeMainBar(bar);
    bar.setPosition(32767);
    const QImage all = bar.grab().toImage();
    const QColor dark = bar.palette().color(QPalette::Dark);    // the button shadow
    const QColor light = bar.palette().color(QPalette::Light);  // the button highlight
    QVERIFY(dark.rgb() != light.rgb());
    // LED i spans x 6i..6i+5; its middle is 6i+3.
    const std::vector<std::pair<int, QColor>> middles = {
        {0, QColor(0, 255, 0)},    {10, QColor(0, 255, 0)}, {11, QColor(255, 255, 0)},
        {14, QColor(255, 255, 0)}, {15, QColor(255, 0, 0)}, {19, QColor(255, 0, 0)}};
    for (const auto& [led, colour] : middles) {
        QCOMPARE(all.pixel(6 * led + 3, 10), colour.rgb());
    }
    // The bevel: shadow top and left, light bottom and right.
    QCOMPARE(all.pixel(0, 1), dark.rgb());
    QCOMPARE(all.pixel(3, 1), dark.rgb());
    QCOMPARE(all.pixel(0, 10), dark.rgb());
    QCOMPARE(all.pixel(5, 10), light.rgb());
    QCOMPARE(all.pixel(3, 19), light.rgb());
    QCOMPARE(all.pixel(5, 19), light.rgb());

    bar.setPosition(1638);
    const QImage one = bar.grab().toImage();
    QCOMPARE(one.pixel(3, 10), QColor(0, 255, 0).rgb());
    QCOMPARE(one.pixel(9, 10), QColor(0, 128, 0).rgb());
    QCOMPARE(one.pixel(117, 10), QColor(0, 128, 0).rgb());

    // Flat LEDs fill their whole rectangle; a single border is black.
    bar.setCtl3D(false);
    bar.setBorderStyle(TLedLadder::bsSingle);
    const QImage flat = bar.grab().toImage();
    QCOMPARE(flat.pixel(0, 0), QColor(Qt::black).rgb());
    QCOMPARE(flat.pixel(120, 20), QColor(Qt::black).rgb());
    QCOMPARE(flat.pixel(1, 1), QColor(0, 255, 0).rgb());
    QCOMPARE(flat.pixel(6, 1), QColor(0, 128, 0).rgb());
}

void tst_levelmeter::screenshots() {
    // For a look by eye: the main window's bar at several levels, and a
    // vertical bar, written beside the test binary.
    const QString dir = shotDir();
    TLedLadder bar;
    makeMainBar(bar);
    for (int level : {0, 1638, 16384, 26000, 32767}) {
        bar.setPosition(level);
        QVERIFY(bar.grab().save(dir + QString("/line-out-%1.png").arg(level)));
    }
    TLedLadder vertical;
    vertical.setMax(10);
    vertical.setPosition(6);
    QVERIFY(vertical.grab().save(dir + "/vertical-6-of-10.png"));
}

std::unique_ptr<TPelkoranForm> tst_levelmeter::meteredWindow(MainWindowFixture& fixture,
                                                             MeterMixerFake& mixer) {
    DesktopServices services{
        fixture.scheduler,  fixture.sound, fixture.wavProbe, fixture.pttDevices,
        fixture.profiles,   fixture.bus,   fixture.log,      fixture.startDir(),
        "/usr/bin/pelkora", nullptr,       nullptr,          &mixer};
    services.confirmClose = [] { return true; };
    services.showInformation = [](const QString&) {};  // the microphone lookup's box
    return std::make_unique<TPelkoranForm>(services);
}

void tst_levelmeter::mainWindowBarFollowsTheFirstMeter() {
    MainWindowFixture fixture;
    MeterMixerFake mixer = meteredMixer();
    auto window = meteredWindow(fixture, mixer);
    auto* bar = window->findChild<TLedLadder*>("OutIndicator");
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->geometry(), QRect(243, 5, 121, 21));
    QCOMPARE(bar->Orientation(), TLedLadder::trHorizontal);
    QCOMPARE(bar->LedCount(), 20);
    QCOMPARE(bar->BorderStyle(), TLedLadder::bsNone);
    QCOMPARE(bar->Spacing(), 0);
    QCOMPARE(bar->Max(), 32767);  // set from the meter at start-up
    auto* timer = window->findChild<QTimer*>("IndicatorTimer");
    QVERIFY(timer != nullptr);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 50);

    const std::vector<std::pair<std::int32_t, int>> ticks = {
        {1638, 1}, {-1638, 1}, {16384, 10}, {-32767, 20}, {0, 0}};
    for (const auto& [value, lit] : ticks) {
        mixer.values[{0, kMeterId}] = value;
        window->IndicatorTimerTimer();
        QCOMPARE(bar->litCount(), lit);
    }
    // A read that fails shows 0.
    mixer.values[{0, kMeterId}] = 20000;
    window->IndicatorTimerTimer();
    mixer.values.clear();
    window->IndicatorTimerTimer();
    QCOMPARE(bar->Position(), 0);
    // Every tick read the first meter, on device 0, and nothing else.
    QCOMPARE(mixer.reads.size(), ticks.size() + 2);
    for (const auto& read : mixer.reads) {
        QCOMPARE(read.device, 0);
        QCOMPARE(read.request.controlId, kMeterId);
    }

    // The timer drives it too; showing the window starts the bar at 0.
    mixer.values[{0, kMeterId}] = 32767;
    QTRY_COMPARE(bar->litCount(), 20);
    window->show();  // the show itself, before the loop runs a tick
    QCOMPARE(bar->Position(), 0);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    mixer.values[{0, kMeterId}] = 26000;
    QTRY_COMPARE(bar->Position(), 26000);
    QVERIFY(window->grab().save(shotDir() + "/main-window-26000.png"));
}

void tst_levelmeter::mainWindowWithoutMixerStaysDark() {
    MainWindowFixture fixture;
    TPelkoranForm& window = fixture.build();
    auto* bar = window.findChild<TLedLadder*>("OutIndicator");
    QVERIFY(bar != nullptr);
    QCOMPARE(bar->Max(), 10);
    bar->setPosition(7);
    window.IndicatorTimerTimer();
    QCOMPARE(bar->Position(), 0);
    fixture.destroyWindow();

    // A mixer without a meter: active, nothing to read, the scale stays 10.
    MeterMixerFake quiet;
    MeterMixerFake::Device device;
    device.destinations.push_back(
        MeterMixerFake::line(1, {MeterMixerFake::control(1, pelkora::mixer::kVolume)}));
    quiet.devices = {device};
    auto metered = meteredWindow(fixture, quiet);
    auto* quietBar = metered->findChild<TLedLadder*>("OutIndicator");
    QCOMPARE(quietBar->Max(), 10);
    metered->IndicatorTimerTimer();
    QCOMPARE(quietBar->Position(), 0);
    QVERIFY(quiet.reads.empty());
}

QTEST_MAIN(tst_levelmeter)
#include "tst_levelmeter.moc"
