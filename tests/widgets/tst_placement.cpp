#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <string>

#include "platform/fake/MemoryProfileStore.h"
#include "ui/app/QtPlacement.h"

using pelkora::MemoryProfileStore;
using pelkora::QtPlacement;
using pelkora::WindowPlacement;

namespace {

const std::string kFile = "/tmp/pelkora-placement-test/pelkora.ini";
const std::string kSection = "TVolForm";

int screenPixelsPerInch() {
    return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch());
}

QString storedValue(MemoryProfileStore& store, const char* key) {
    return QString::fromStdString(store.readString(kFile, kSection, key, "(missing)"));
}

}  // namespace

class tst_placement : public QObject {
    Q_OBJECT

  private slots:
    void recordDescribesTheWindow();
    void roundTrip_data();
    void roundTrip();
    void otherResolutionKeepsTheWindowWhereItIs();
    void fixedSizeWindowKeepsItsSize();
    void rectOffEveryScreenComesBackIntoView();
};

void tst_placement::recordDescribesTheWindow() {
    QWidget window;
    window.setGeometry(120, 80, 300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const WindowPlacement::Record record = QtPlacement::recordOf(window);
    QCOMPARE(record.flags, 0);
    QCOMPARE(record.showCmd, 1);
    QCOMPARE(record.minPos, (WindowPlacement::Point{-1, -1}));
    QCOMPARE(record.maxPos, (WindowPlacement::Point{-1, -1}));
    QCOMPARE(record.normal, (WindowPlacement::Rect{120, 80, 420, 280}));
    QCOMPARE(record.pixelsPerInch, screenPixelsPerInch());
}

void tst_placement::roundTrip_data() {
    QTest::addColumn<Qt::WindowState>("state");
    QTest::addColumn<QString>("showCmd");
    QTest::newRow("normal") << Qt::WindowNoState << "1";
    QTest::newRow("maximised") << Qt::WindowMaximized << "3";
    QTest::newRow("minimised") << Qt::WindowMinimized << "2";
}

void tst_placement::roundTrip() {
    QFETCH(Qt::WindowState, state);
    QFETCH(QString, showCmd);
    MemoryProfileStore store;
    {
        QWidget saved;
        saved.setGeometry(130, 90, 420, 260);
        saved.show();
        QVERIFY(QTest::qWaitForWindowExposed(&saved));
        saved.setWindowState(state);
        QtPlacement::save(store, kFile, kSection, saved, true);
    }
    QCOMPARE(storedValue(store, "ShowCmd"), showCmd);
    QCOMPARE(storedValue(store, "NormPos"), QString("130,90,550,350"));  // the normal geometry
    QCOMPARE(storedValue(store, "Visible"), QString("1"));

    QWidget restored;
    restored.resize(200, 100);
    const auto decision = QtPlacement::restore(store, kFile, kSection, restored, true);
    QVERIFY(decision.applyGeometry);
    QVERIFY(decision.dropCentring);
    restored.show();
    QCOMPARE(restored.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized),
             Qt::WindowStates(state));
    if (state == Qt::WindowNoState) {
        QCOMPARE(restored.geometry(), QRect(130, 90, 420, 260));
    }
    QCOMPARE(QtPlacement::recordOf(restored).normal, (WindowPlacement::Rect{130, 90, 550, 350}));
}

void tst_placement::otherResolutionKeepsTheWindowWhereItIs() {
    MemoryProfileStore store;
    store.writeString(kFile, kSection, "PixelsPerInch", std::to_string(screenPixelsPerInch() + 24));
    store.writeString(kFile, kSection, "NormPos", "300,200,700,500");
    store.writeString(kFile, kSection, "ShowCmd", "3");

    QWidget window;
    window.setGeometry(10, 20, 200, 100);
    const auto decision = QtPlacement::restore(store, kFile, kSection, window, true);
    QVERIFY(!decision.applyGeometry);
    QVERIFY(!decision.dropCentring);
    QCOMPARE(window.geometry(), QRect(10, 20, 200, 100));
    QVERIFY(window.windowState().testFlag(Qt::WindowMaximized));
}

void tst_placement::fixedSizeWindowKeepsItsSize() {
    MemoryProfileStore store;
    store.writeString(kFile, kSection, "NormPos", "100,50,700,550");
    QWidget window;
    window.setFixedSize(180, 90);
    QtPlacement::restore(store, kFile, kSection, window, false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), QRect(100, 50, 180, 90));
}

void tst_placement::rectOffEveryScreenComesBackIntoView() {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const char* normPos : {"50000,40000,50300,40200", "-2147483648,0,2147483647,2147483647"}) {
        MemoryProfileStore store;
        store.writeString(kFile, kSection, "NormPos", normPos);
        QWidget window;
        QtPlacement::restore(store, kFile, kSection, window, false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY2(area.intersects(window.frameGeometry()), normPos);
        QVERIFY2(window.width() <= area.width() && window.height() <= area.height(), normPos);
    }
}

QTEST_MAIN(tst_placement)
#include "tst_placement.moc"
