#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
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
const QString kMainPath = KeyerBusService::kObjectPath;
const QString kInterface = KeyerBusService::kInterfaceName;
const QString kServer = KeyerBusService::kServerInterfaceName;

// The main window on fakes with the bus service on the session bus; the
// fakes outlive the window, the window the service.
struct ObjectRig {
    MainWindowFixture fixture;
    KeyerBusService service;
    std::unique_ptr<TPelkoranForm> window;
    MemoryDiagnosticLog log;
    QStringList asked;  // the close questions, in order
    bool warningAnswer = false;
    int ends = 0;

    ObjectRig() {
        fixture.seed("Config", "PTTPort", "1");
        DesktopServices services{
            fixture.scheduler,  fixture.sound, fixture.wavProbe, fixture.pttDevices,
            fixture.profiles,   service,       fixture.log,      fixture.startDir(),
            "/usr/bin/pelkora", nullptr,       nullptr,          nullptr};
        services.showError = [this](const QString& message) { fixture.errors.append(message); };
        services.showInformation = [](const QString&) {};  // the microphone lookup's box
        services.confirmClose = [this] {
            asked.append("confirm");
            return true;
        };
        window = std::make_unique<TPelkoranForm>(services);
        window->setCloseWarning([this] { return service.objects().closeNeedsWarning(); },
                                [this] {
                                    asked.append("objects");
                                    return warningAnswer;
                                });
        service.onLastObjectReleased = [this] { ++ends; };
    }
    ~ObjectRig() {
        service.close();
        window.reset();
    }
    ObjectRig(const ObjectRig&) = delete;
    ObjectRig& operator=(const ObjectRig&) = delete;

    bool open() { return service.open(window->engine(), *window, *window, log); }
    bool rts() const { return fixture.serialLines.rts(); }
    bool logSays(const std::string& text) const {
        return std::any_of(log.lines().begin(), log.lines().end(),
                           [&](const std::string& line) { return line.find(text) != npos; });
    }
    static constexpr auto npos = std::string::npos;
};

// Another program on the session bus, with a connection of its own that
// can leave the bus as a program that ends does.
class Client {
  public:
    explicit Client(QString name) : name_(std::move(name)) {
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
    }
    ~Client() { leave(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    QDBusConnection connection() const { return QDBusConnection(name_); }
    void leave() { QDBusConnection::disconnectFromBus(name_); }

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {}) const {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
        message.setArguments(args);
        // The keyer answers from this thread's loop: the wait must run it.
        return connection().call(message, QDBus::BlockWithGui);
    }
    QString create() const {
        const QDBusMessage reply = call(kMainPath, kServer, "CreateObject");
        return reply.type() == QDBusMessage::ReplyMessage
                   ? reply.arguments().value(0).value<QDBusObjectPath>().path()
                   : QString();
    }
    QDBusMessage release(const QString& path) const {
        return call(kMainPath, kServer, "ReleaseObject",
                    {QVariant::fromValue(QDBusObjectPath(path))});
    }
    QDBusMessage property(const QString& path, const QString& name) const {
        return call(path, "org.freedesktop.DBus.Properties", "Get", {kInterface, name});
    }
    QDBusMessage setProperty(const QString& path, const QString& name, int value) const {
        return call(path, "org.freedesktop.DBus.Properties", "Set",
                    {kInterface, name, QVariant::fromValue(QDBusVariant(value))});
    }

  private:
    QString name_;
};

bool answered(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace

class tst_busobjects : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void objectsOfOneClientActOnOneWindow();
    void releaseOfWhatIsNotYoursIsRefused_data();
    void releaseOfWhatIsNotYoursIsRefused();
    void leavingClientLosesItsObjects();
    void leavingClientReleasesWhatItKeyed_data();
    void leavingClientReleasesWhatItKeyed();
    void startedForAClientEndsWithTheLastObject_data();
    void startedForAClientEndsWithTheLastObject();
    void closeAsksWhileObjectsAreAlive_data();
    void closeAsksWhileObjectsAreAlive();
};

void tst_busobjects::initTestCase() {
    if (!QDBusConnection::sessionBus().isConnected()) {
        QSKIP("no session bus: run under dbus-run-session");
    }
}

void tst_busobjects::objectsOfOneClientActOnOneWindow() {
    ObjectRig rig;
    QVERIFY(rig.open());
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    Client logger("logger");
    const QString first = logger.create();
    const QString second = logger.create();
    QVERIFY2(first.startsWith(KeyerBusService::kObjectPathPrefix), qPrintable(first));
    QVERIFY(second.startsWith(KeyerBusService::kObjectPathPrefix));
    QVERIFY(first != second);
    QCOMPARE(rig.service.objects().count(), 2);

    // One fills the window's fields, the other moves it; both read it back.
    QVERIFY(answered(logger.call(first, kInterface, "PlayMacros", {"~[ec]", "DL1ABC", "59"})));
    QCOMPARE(rig.window->findChild<QLineEdit*>("eCall")->text(), QString("DL1ABC"));
    QVERIFY(answered(logger.setProperty(second, "Left", 140)));
    QTRY_COMPARE(rig.window->frameGeometry().left(), 140);
    const QDBusMessage left = logger.property(first, "Left");
    QVERIFY(answered(left));
    QCOMPARE(left.arguments().value(0).value<QDBusVariant>().variant().toInt(), 140);
    QVERIFY(answered(logger.call(second, kInterface, "StartPlay")));
    QVERIFY(rig.rts());
    QVERIFY(answered(logger.call(first, kInterface, "StopPlay")));
    QVERIFY(!rig.rts());
    // The logger's codes stay on the main object; the text limit holds here too.
    QCOMPARE(logger.call(first, kInterface, "Control", {111}).type(), QDBusMessage::ErrorMessage);
    QVERIFY(!rig.rts());
    const QString huge(KeyerBusService::kMaxTextLength + 1, QChar('A'));
    const QDBusMessage refused = logger.call(second, kInterface, "PlayMacros", {huge, "", ""});
    QCOMPARE(refused.errorName(), QString("org.freedesktop.DBus.Error.InvalidArgs"));

    QVERIFY(answered(logger.release(first)));
    QCOMPARE(rig.service.objects().count(), 1);
    QCOMPARE(logger.call(first, kInterface, "Show").type(), QDBusMessage::ErrorMessage);
    QVERIFY(answered(logger.call(second, kInterface, "Show")));
    QVERIFY(answered(logger.release(second)));
    QCOMPARE(rig.service.objects().count(), 0);
    QCOMPARE(rig.ends, 0);  // started by the operator: it stays
}

void tst_busobjects::releaseOfWhatIsNotYoursIsRefused_data() {
    QTest::addColumn<QString>("which");
    QTest::newRow("another client's object") << "foreign";
    QTest::newRow("one released already") << "released";
    QTest::newRow("a path never made") << "unknown";
    QTest::newRow("the main object") << "main";
}

void tst_busobjects::releaseOfWhatIsNotYoursIsRefused() {
    QFETCH(QString, which);
    ObjectRig rig;
    QVERIFY(rig.open());
    Client logger("logger");
    Client other("other");
    const QString mine = logger.create();
    const QString theirs = other.create();
    const QString gone = logger.create();
    QVERIFY(answered(logger.release(gone)));
    const QString path = which == "foreign"    ? theirs
                         : which == "released" ? gone
                         : which == "unknown"  ? QString(KeyerBusService::kObjectPathPrefix) + "999"
                                               : kMainPath;

    const QDBusMessage reply = logger.release(path);
    QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
    QCOMPARE(reply.errorName(), QString("org.freedesktop.DBus.Error.UnknownObject"));
    QCOMPARE(rig.service.objects().count(), 2);
    QVERIFY(answered(other.call(theirs, kInterface, "Show")));
    QVERIFY(answered(logger.call(mine, kInterface, "Show")));
}

void tst_busobjects::leavingClientLosesItsObjects() {
    ObjectRig rig;
    QVERIFY(rig.open());
    Client logger("logger");
    const QString kept = logger.create();
    {
        Client passing("passing");
        QVERIFY(!passing.create().isEmpty());
        QVERIFY(!passing.create().isEmpty());
        QCOMPARE(rig.service.objects().count(), 3);
    }
    QTRY_COMPARE(rig.service.objects().count(), 1);
    QVERIFY(rig.logSays("2 object(s) released"));
    QVERIFY(answered(logger.call(kept, kInterface, "Show")));
    QVERIFY(answered(logger.release(kept)));
    QCOMPARE(rig.service.objects().count(), 0);
}

void tst_busobjects::leavingClientReleasesWhatItKeyed_data() {
    QTest::addColumn<QString>("keying");
    QTest::addColumn<bool>("releasedOnLeaving");
    QTest::newRow("keyed through its object") << "object" << true;
    QTest::newRow("keyed twice through its object") << "object twice" << true;
    QTest::newRow("keyed through the main object") << "main" << false;
    QTest::newRow("keyed by the logger's code") << "control" << false;
    QTest::newRow("its keying released and keyed again by the operator") << "operator" << false;
    QTest::newRow("its keying answered by the logger's codes") << "control after" << false;
    QTest::newRow("another client's object keyed last") << "other" << false;
}

void tst_busobjects::leavingClientReleasesWhatItKeyed() {
    QFETCH(QString, keying);
    QFETCH(bool, releasedOnLeaving);
    ObjectRig rig;
    QVERIFY(rig.open());
    Client stays("stays");
    const QString staying = stays.create();
    QStringList states;
    QObject::connect(&rig.service, &KeyerBusService::State,
                     [&](int code) { states.append(QString::number(code)); });
    {
        Client leaving("leaving");
        const QString object = leaving.create();
        QVERIFY(!object.isEmpty());
        const auto through = [&](const QString& path, const QString& method,
                                 const QVariantList& args = {}) {
            return answered(leaving.call(path, kInterface, method, args));
        };
        if (keying == "object") {
            QVERIFY(through(object, "StartPlay"));
        } else if (keying == "object twice") {
            QVERIFY(through(object, "StartPlay") && through(object, "StartPlay"));
        } else if (keying == "main") {
            // What a one-shot command-line call does: it must stay keyed.
            QVERIFY(through(kMainPath, "StartPlay"));
        } else if (keying == "control") {
            QVERIFY(through(kMainPath, "Control", {111}));
        } else if (keying == "operator") {
            QVERIFY(through(object, "StartPlay"));
            rig.window->findChild<QPushButton*>("sbTX")->click();
            QVERIFY(!rig.rts());
            rig.window->findChild<QPushButton*>("sbTX")->click();
        } else if (keying == "control after") {
            QVERIFY(through(object, "StartPlay"));
            QVERIFY(through(kMainPath, "Control", {110}) && through(kMainPath, "Control", {111}));
        } else {
            QVERIFY(through(object, "StartPlay"));
            QVERIFY(answered(stays.call(staying, kInterface, "StartPlay")));
        }
        QVERIFY(rig.rts());
        QVERIFY(rig.window->engine().txDown());
        states.clear();
    }
    QTRY_COMPARE(rig.service.objects().count(), 1);
    QCOMPARE(!rig.rts(), releasedOnLeaving);
    QCOMPARE(!rig.window->engine().txDown(), releasedOnLeaving);
    QCOMPARE(rig.logSays("left with the transmitter keyed"), releasedOnLeaving);
    // Released the way StopPlay releases: the listeners hear it.
    QCOMPARE(states.contains("110"), releasedOnLeaving);
    QVERIFY(answered(stays.call(staying, kInterface, "StopPlay")));
    QVERIFY(!rig.rts());
}

void tst_busobjects::startedForAClientEndsWithTheLastObject_data() {
    QTest::addColumn<bool>("automation");
    QTest::addColumn<bool>("byLeaving");
    QTest::newRow("started for a client, released") << true << false;
    QTest::newRow("started for a client, client left") << true << true;
    QTest::newRow("started by the operator, released") << false << false;
    QTest::newRow("started by the operator, client left") << false << true;
}

void tst_busobjects::startedForAClientEndsWithTheLastObject() {
    QFETCH(bool, automation);
    QFETCH(bool, byLeaving);
    ObjectRig rig;
    rig.service.setEndsWithLastObject(automation);
    QVERIFY(rig.open());
    auto logger = std::make_unique<Client>("logger");
    const QString first = logger->create();
    const QString second = logger->create();
    QVERIFY(answered(logger->release(first)));
    // Paused, so that the queue waits behind the keyed transmitter; keyed
    // through the main object, which leaving would not release by itself.
    QVERIFY(answered(logger->call(kMainPath, kInterface, "Control", {101})));
    QVERIFY(answered(logger->call(second, kInterface, "PlayMacros", {"~[rx]~[rx]", "", ""})));
    QVERIFY(answered(logger->call(kMainPath, kInterface, "StartPlay")));
    QVERIFY(rig.rts());
    QVERIFY(!rig.window->engine().PlayQueue().empty());
    QCOMPARE(rig.ends, 0);

    if (byLeaving) {
        logger.reset();
    } else {
        QVERIFY(answered(logger->release(second)));
    }
    QTRY_COMPARE(rig.service.objects().count(), 0);
    QTest::qWait(20);  // the end is asked for from the loop
    QCOMPARE(rig.ends, automation ? 1 : 0);
    QCOMPARE(rig.rts(), !automation);
    QCOMPARE(rig.window->engine().txDown(), !automation);
    QCOMPARE(rig.window->engine().PlayQueue().empty(), automation);
    QVERIFY(rig.asked.isEmpty());  // no close confirmation on the way
}

void tst_busobjects::closeAsksWhileObjectsAreAlive_data() {
    QTest::addColumn<int>("objects");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<bool>("closes");
    QTest::newRow("objects alive, No") << 2 << false << QStringList{"confirm", "objects"} << false;
    QTest::newRow("objects alive, Yes") << 1 << true << QStringList{"confirm", "objects"} << true;
    QTest::newRow("no objects") << 0 << false << QStringList{"confirm"} << true;
}

void tst_busobjects::closeAsksWhileObjectsAreAlive() {
    QFETCH(int, objects);
    QFETCH(bool, answer);
    QFETCH(QStringList, asked);
    QFETCH(bool, closes);
    ObjectRig rig;
    QVERIFY(rig.open());
    rig.warningAnswer = answer;
    rig.fixture.addSound("d.wav", 5000);
    Client logger("logger");
    for (int i = 0; i < objects; ++i) {
        QVERIFY(!logger.create().isEmpty());
    }
    QVERIFY(answered(logger.call(kMainPath, kInterface, "PlayMacros", {"d d", "", ""})));
    rig.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));

    QCOMPARE(rig.window->close(), closes);
    QCOMPARE(rig.asked, asked);
    QCOMPARE(rig.window->isVisible(), !closes);
    // The closing steps before the question stay done on No: the playback
    // stopped, the queue emptied, the settings written.
    QVERIFY(rig.window->engine().PlayQueue().empty());
    QVERIFY(rig.window->engine().ReadyToPlay());
    QCOMPARE(rig.service.objects().count(), objects);
    if (!closes) {
        QVERIFY(answered(logger.call(kMainPath, kInterface, "Show")));
    }
}

QTEST_MAIN(tst_busobjects)
#include "tst_busobjects.moc"
