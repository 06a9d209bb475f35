#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/MemoryDiagnosticLog.h"
#include "ui/remote/KeyerBusService.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::DesktopServices;
using pelkora::KeyerBusService;
using pelkora::MemoryDiagnosticLog;
using pelkora::TPelkoranForm;
using pelkora::test::MainWindowFixture;

namespace {

const QString kService = KeyerBusService::kServiceName;
const QString kPath = KeyerBusService::kObjectPath;
const QString kInterface = KeyerBusService::kInterfaceName;

// Hears the keyer's State signal as another program on the bus does.
class StateListener : public QObject {
    Q_OBJECT
  public:
    std::vector<int> codes;

  public slots:
    void onState(int code) { codes.push_back(code); }
};

// The main window on fakes, with the bus service as its message bus and on
// the session bus; the fakes outlive the window, the window the service.
struct BusRig {
    MainWindowFixture fixture;
    KeyerBusService service;
    std::unique_ptr<TPelkoranForm> window;
    MemoryDiagnosticLog log;

    BusRig() {
        fixture.seed("Config", "PTTPort", "1");
        DesktopServices services{
            fixture.scheduler,  fixture.sound, fixture.wavProbe, fixture.pttDevices,
            fixture.profiles,   service,       fixture.log,      fixture.startDir(),
            "/usr/bin/pelkora", nullptr,       nullptr,          nullptr};
        services.showError = [this](const QString& message) { fixture.errors.append(message); };
        services.confirmClose = [] { return true; };
        services.showInformation = [](const QString&) {};  // the microphone lookup's box
        window = std::make_unique<TPelkoranForm>(services);
    }
    ~BusRig() {
        service.close();
        window.reset();
    }
    BusRig(const BusRig&) = delete;
    BusRig& operator=(const BusRig&) = delete;

    bool open() { return service.open(window->engine(), *window, *window, log); }

    template <class T>
    T* find(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
};

// A window whose call box has gone bad: filling it throws.
class BrokenCallBox : public pelkora::RemoteHost {
  public:
    std::string macro(int) override { return {}; }
    std::string callField() override { return {}; }
    std::string reportField() override { return {}; }
    void setCallField(const std::string&) override { throw std::runtime_error("call box gone"); }
    void setReportField(const std::string&) override {}
    void setStartDir(const std::string&) override {}
    void FindMicrophoneLines() override {}
};

}  // namespace

class tst_busservice : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void playMacrosFillsTheFieldsAndQueues();
    void loggerCodesKeyWithoutEcho();
    void startAndStopPlayBroadcastInOrder();
    void wrongTypesGetAnError_data();
    void wrongTypesGetAnError();
    void oversizeTextIsRefusedAndOddTextTaken();
    void propertiesPlaceTheMainWindow();
    void showAndHideBothWindows();
    void floodLeavesTheWindowAnswering();
    void secondKeyerAndMissingBusStayOff();
    void faultInACallReleasesTheTransmitter_data();
    void faultInACallReleasesTheTransmitter();

  private:
    // A program of its own on the session bus: its calls go through the bus
    // daemon, which checks their types, as another program's do.
    QDBusConnection client() const { return QDBusConnection(QStringLiteral("pelkora-client")); }
    QDBusMessage call(const QString& method, const QVariantList& args = {}) const;
    QDBusMessage setProperty(const QString& name, const QVariant& value) const;
    QDBusMessage getProperty(const QString& name) const;
    bool listen(StateListener& listener) const;
};

void tst_busservice::initTestCase() {
    if (!QDBusConnection::sessionBus().isConnected()) {
        QSKIP("no session bus: run under dbus-run-session");
    }
    QVERIFY(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("pelkora-client"))
            .isConnected());
}

QDBusMessage tst_busservice::call(const QString& method, const QVariantList& args) const {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(args);
    // The keyer answers from this thread's loop: the wait must run it.
    return client().call(message, QDBus::BlockWithGui);
}

QDBusMessage tst_busservice::setProperty(const QString& name, const QVariant& value) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    message.setArguments({kInterface, name, QVariant::fromValue(QDBusVariant(value))});
    return client().call(message, QDBus::BlockWithGui);
}

QDBusMessage tst_busservice::getProperty(const QString& name) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments({kInterface, name});
    return client().call(message, QDBus::BlockWithGui);
}

bool tst_busservice::listen(StateListener& listener) const {
    return client().connect(kService, kPath, kInterface, QStringLiteral("State"), &listener,
                            SLOT(onState(int)));
}

void tst_busservice::playMacrosFillsTheFieldsAndQueues() {
    BusRig rig;
    QVERIFY(rig.open());
    rig.fixture.addSound("d.wav", 300);

    QDBusMessage reply =
        call("PlayMacros", {QString("~[ec]~[er]"), QString("DL1ABC"), QString("57")});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(rig.find<QLineEdit>("eCall")->text(), QString("DL1ABC"));
    QCOMPARE(rig.find<QLineEdit>("eRS")->text(), QString("57"));
    // Spelled from the fields just filled, and shown as queued.
    QVERIFY2(rig.find<QPlainTextEdit>("SpeechMemo")->toPlainText().contains("DL1ABC 57"),
             qPrintable(rig.find<QPlainTextEdit>("SpeechMemo")->toPlainText()));
    const auto& queue = rig.window->engine().PlayQueue();
    const std::string soundDir = rig.fixture.soundFile("");
    QVERIFY(std::find(queue.begin(), queue.end(), soundDir + "5.wav") != queue.end());

    // Empty fields in the call leave the boxes as they are; the macro goes
    // behind what is queued.
    const std::size_t before = queue.size();
    reply = call("PlayMacros", {QString("~[ec]"), QString(), QString()});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(rig.find<QLineEdit>("eCall")->text(), QString("DL1ABC"));
    QCOMPARE(rig.find<QLineEdit>("eRS")->text(), QString("57"));
    QVERIFY(rig.window->engine().PlayQueue().size() > before);
}

void tst_busservice::loggerCodesKeyWithoutEcho() {
    BusRig rig;
    QVERIFY(rig.open());
    StateListener listener;
    QVERIFY(listen(listener));
    QVERIFY(rig.fixture.serialLines.isOpen());

    QCOMPARE(call("Control", {111}).type(), QDBusMessage::ReplyMessage);
    QVERIFY(rig.fixture.serialLines.rts());
    QVERIFY(rig.find<QPushButton>("sbTX")->isChecked());
    QCOMPARE(call("Control", {110}).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!rig.fixture.serialLines.rts());
    QVERIFY(!rig.find<QPushButton>("sbTX")->isChecked());
    // A code nobody knows does nothing.
    QCOMPARE(call("Control", {4711}).type(), QDBusMessage::ReplyMessage);

    // Signals keep their order on the bus: whatever the codes above had sent
    // would come before what StopPlay sends.
    QCOMPARE(call("StopPlay").type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE(listener.codes, (std::vector<int>{100, 110}));
}

void tst_busservice::startAndStopPlayBroadcastInOrder() {
    BusRig rig;
    QVERIFY(rig.open());
    StateListener listener;
    QVERIFY(listen(listener));

    QCOMPARE(call("StartPlay").type(), QDBusMessage::ReplyMessage);
    QVERIFY(rig.fixture.serialLines.rts());
    QTRY_COMPARE(listener.codes, (std::vector<int>{111}));
    QCOMPARE(call("StopPlay").type(), QDBusMessage::ReplyMessage);
    QVERIFY(!rig.fixture.serialLines.rts());
    QTRY_COMPARE(listener.codes, (std::vector<int>{111, 100, 110}));
}

void tst_busservice::wrongTypesGetAnError_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QVariantList>("args");
    QTest::newRow("Control with text") << "Control" << QVariantList{QString("111")};
    QTest::newRow("Control without code") << "Control" << QVariantList{};
    QTest::newRow("PlayMacros with a number") << "PlayMacros" << QVariantList{1, 2, 3};
    QTest::newRow("PlayMacros short") << "PlayMacros" << QVariantList{QString("~[ec]")};
    QTest::newRow("SetStartDir with a list") << "SetStartDir" << QVariantList{QStringList{"/tmp"}};
    QTest::newRow("no such method") << "Explode" << QVariantList{};
}

void tst_busservice::wrongTypesGetAnError() {
    QFETCH(QString, method);
    QFETCH(QVariantList, args);
    BusRig rig;
    QVERIFY(rig.open());
    StateListener listener;
    QVERIFY(listen(listener));

    const QDBusMessage reply = call(method, args);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    // Nothing happened to the keyer: still answering, nothing keyed or queued.
    QCOMPARE(call("Control", {100}).type(), QDBusMessage::ReplyMessage);
    QVERIFY(!rig.fixture.serialLines.rts());
    QVERIFY(rig.window->engine().PlayQueue().empty());
    QCOMPARE(setProperty("Width", QString("wide")).type(), QDBusMessage::ErrorMessage);
    QVERIFY(listener.codes.empty());
}

void tst_busservice::oversizeTextIsRefusedAndOddTextTaken() {
    BusRig rig;
    QVERIFY(rig.open());

    const QString huge(10 * 1024 * 1024, QChar('A'));
    for (const QVariantList& args :
         {QVariantList{huge, QString(), QString()}, QVariantList{QString("~[ec]"), huge, QString()},
          QVariantList{QString("~[ec]"), QString(), huge}}) {
        const QDBusMessage reply = call("PlayMacros", args);
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), QString("org.freedesktop.DBus.Error.InvalidArgs"));
    }
    QCOMPARE(call("SetStartDir", {huge}).type(), QDBusMessage::ErrorMessage);
    QVERIFY(rig.window->engine().PlayQueue().empty());
    QCOMPARE(rig.find<QLineEdit>("eCall")->text(), QString());
    QCOMPARE(rig.window->settingsFile(), rig.fixture.settingsFile());

    // The longest macro taken is taken whole: every command in it queues.
    const qsizetype commands = KeyerBusService::kMaxTextLength / 5;
    const QString longest = QString("~[rx]").repeated(commands);
    QCOMPARE(longest.size(), KeyerBusService::kMaxTextLength - KeyerBusService::kMaxTextLength % 5);
    QCOMPARE(call("PlayMacros", {longest, QString(), QString()}).type(),
             QDBusMessage::ReplyMessage);
    // The runner may have taken the first off already.
    const auto queued = static_cast<qsizetype>(rig.window->engine().PlayQueue().size());
    QVERIFY2(queued == commands || queued == commands - 1, qPrintable(QString::number(queued)));

    // A lone surrogate cannot cross the bus as such: it arrives replaced,
    // and the rest of the text with it.
    const QString odd = QString("R") + QChar(0xD800) + QString::fromUtf8("\u00c4");
    QCOMPARE(call("PlayMacros", {QString(), odd, QString()}).type(), QDBusMessage::ReplyMessage);
    const QString taken = rig.find<QLineEdit>("eCall")->text();
    QVERIFY2(taken.startsWith('R') && taken.endsWith(QString::fromUtf8("\u00c4")),
             qPrintable(taken));
}

void tst_busservice::propertiesPlaceTheMainWindow() {
    BusRig rig;
    QVERIFY(rig.open());
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));

    QCOMPARE(setProperty("Left", 120).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(setProperty("Top", 90).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(setProperty("Width", 600).type(), QDBusMessage::ReplyMessage);
    QCOMPARE(setProperty("Height", 400).type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE(rig.window->frameGeometry(), QRect(120, 90, 600, 400));
    const std::vector<std::pair<QString, int>> expected{
        {"Left", 120}, {"Top", 90}, {"Width", 600}, {"Height", 400}};
    for (const auto& [name, value] : expected) {
        const QDBusMessage reply = getProperty(name);
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(reply.arguments().value(0).value<QDBusVariant>().variant().toInt(), value);
    }
    // Moving keeps the size, resizing keeps the place.
    QCOMPARE(setProperty("Left", 10).type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE(rig.window->frameGeometry(), QRect(10, 90, 600, 400));
}

void tst_busservice::showAndHideBothWindows() {
    BusRig rig;
    QVERIFY(rig.open());
    QCOMPARE(call("Show").type(), QDBusMessage::ReplyMessage);
    QVERIFY(rig.window->isVisible());
    QTRY_VERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    auto visibleTopLevels = [] {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            count += widget->isVisible() ? 1 : 0;
        }
        return count;
    };
    // The main window and its volume tool window.
    QTRY_COMPARE(visibleTopLevels(), 2);

    QCOMPARE(call("Hide").type(), QDBusMessage::ReplyMessage);
    QVERIFY(!rig.window->isVisible());
    QCOMPARE(visibleTopLevels(), 0);
}

void tst_busservice::floodLeavesTheWindowAnswering() {
    BusRig rig;
    QVERIFY(rig.open());
    StateListener listener;
    QVERIFY(listen(listener));

    // Sent without waiting, as a busy logger may; the bus keeps one sender's
    // calls in order, so the last pause code wins.
    constexpr int kCalls = 1000;
    for (int i = 0; i < kCalls; ++i) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Control"));
        message.setArguments({i % 2 == 0 ? 101 : 100});
        client().asyncCall(message);
    }
    client().asyncCall(QDBusMessage::createMethodCall(kService, kPath, kInterface, "Control")
                       << 101);
    const QDBusMessage reply = getProperty("Width");
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.arguments().value(0).value<QDBusVariant>().variant().toInt(),
             rig.window->frameGeometry().width());
    QVERIFY(rig.find<QPushButton>("PauseButton")->isChecked());
    QVERIFY(rig.window->engine().pauseDown());
    // The logger's codes are not echoed, however many.
    QCOMPARE(call("StartPlay").type(), QDBusMessage::ReplyMessage);
    QTRY_COMPARE(listener.codes, (std::vector<int>{111}));
}

void tst_busservice::secondKeyerAndMissingBusStayOff() {
    BusRig first;
    QVERIFY(first.open());
    QVERIFY(first.service.isOnBus());

    // A second keyer on its own connection finds the name taken.
    BusRig second;
    const QDBusConnection other =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second-keyer"));
    QVERIFY(!second.service.open(second.window->engine(), *second.window, *second.window,
                                 second.log, other));
    QVERIFY(!second.service.isOnBus());
    QCOMPARE(second.log.lines().size(), std::size_t{1});
    QVERIFY2(second.log.lines()[0].find("name taken") != std::string::npos,
             second.log.lines()[0].c_str());
    // The first still answers, and the second's broadcasts go nowhere.
    QCOMPARE(call("Control", {100}).type(), QDBusMessage::ReplyMessage);
    second.window->engine().setTxButton(true);
    second.window->engine().setTxButton(false);
    QDBusConnection::disconnectFromBus(QStringLiteral("second-keyer"));

    // No bus at all: the keyer works on, keying included.
    BusRig alone;
    const QDBusConnection nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/pelkora-bus"), QStringLiteral("nowhere"));
    QVERIFY(!alone.service.open(alone.window->engine(), *alone.window, *alone.window, alone.log,
                                nowhere));
    QVERIFY2(!alone.log.lines().empty() && alone.log.lines()[0].find("no session bus") == 5,
             alone.log.lines().empty() ? "" : alone.log.lines()[0].c_str());
    alone.window->engine().setTxButton(true);
    QVERIFY(alone.fixture.serialLines.rts());
    alone.window->engine().setTxButton(false);
    QVERIFY(!alone.fixture.serialLines.rts());
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

void tst_busservice::faultInACallReleasesTheTransmitter_data() {
    QTest::addColumn<bool>("windowReports");
    QTest::newRow("the window's fault report") << true;
    QTest::newRow("the engine alone") << false;
}

void tst_busservice::faultInACallReleasesTheTransmitter() {
    QFETCH(bool, windowReports);
    BusRig rig;
    BrokenCallBox host;
    QStringList faults;
    if (windowReports) {
        rig.service.onFault = [&](const std::string& what) {
            faults.append(QString::fromStdString(what));
            rig.window->reportFault(what);
        };
    }
    QVERIFY(rig.service.open(rig.window->engine(), host, *rig.window, rig.log));
    QCOMPARE(call("Control", {111}).type(), QDBusMessage::ReplyMessage);
    QVERIFY(rig.fixture.serialLines.rts());

    const QDBusMessage reply = call("PlayMacros", {QString("~[ec]"), QString("X"), QString()});
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), QString("org.freedesktop.DBus.Error.Failed"));
    QCOMPARE(reply.errorMessage(), QString("call box gone"));
    QVERIFY(!rig.fixture.serialLines.rts());
    QVERIFY(!rig.window->engine().txDown());
    if (windowReports) {
        QCOMPARE(faults, QStringList{"call box gone"});
        QCOMPARE(rig.fixture.errors.size(), 1);
    }
    // The keyer goes on answering.
    QCOMPARE(call("StartPlay").type(), QDBusMessage::ReplyMessage);
    QVERIFY(rig.fixture.serialLines.rts());
}

QTEST_MAIN(tst_busservice)
#include "tst_busservice.moc"
