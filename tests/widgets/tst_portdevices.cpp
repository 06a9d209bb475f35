#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake/MemoryProfileStore.h"
#include "ui/ptt/PortDevicesDialog.h"
#include "ui/ptt/PortSettings.h"
#include "widgets/support/MainWindowFixture.h"

using pelkora::MemoryProfileStore;
using pelkora::PortDevicesDialog;
using pelkora::PortSettings;
using pelkora::PttTiming;
using pelkora::RigModelChoice;
using pelkora::SerialDeviceDiscovery;

namespace {

const std::string kFile = "/home/op/pelkora/pelkora.ini";

// A /dev and /sys with one FTDI adapter (by id and by name), a keyboard and a
// C-Media chip on hidraw.
class DeviceTree {
  public:
    DeviceTree() {
        file("dev/ttyUSB0");
        file("dev/hidraw0");
        file("dev/hidraw1");
        const QString usb = "sys/devices/usb1/1-1";
        file(usb + "/idVendor", "0403");
        file(usb + "/manufacturer", "FTDI");
        file(usb + "/product", "FT232R USB UART");
        file(usb + "/serial", "A10K");
        mkdir(usb + "/1-1:1.0/ttyUSB0");
        link(usb + "/1-1:1.0/ttyUSB0", "sys/class/tty/ttyUSB0/device");
        link("dev/ttyUSB0", "dev/serial/by-id/usb-FTDI_A10K-if00-port0");
        mkdir("sys/devices/virtual/0003:046D:C31C.0001");
        link("sys/devices/virtual/0003:046D:C31C.0001", "sys/class/hidraw/hidraw0/device");
        mkdir("sys/devices/virtual/0003:0D8C:013C.0002");
        link("sys/devices/virtual/0003:0D8C:013C.0002", "sys/class/hidraw/hidraw1/device");
    }
    SerialDeviceDiscovery discovery() const {
        return SerialDeviceDiscovery(path("dev").toStdString(), path("sys").toStdString());
    }
    QString path(const QString& relative) const { return dir_.filePath(relative); }

  private:
    void mkdir(const QString& relative) { QDir().mkpath(path(relative)); }
    void file(const QString& relative, const QByteArray& text = {}) {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile out(path(relative));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text + "\n");
    }
    void link(const QString& target, const QString& relative) {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QVERIFY(QFile::link(path(target), path(relative)));
    }
    QTemporaryDir dir_;
};

const std::vector<RigModelChoice> kModels = {{1035, "Yaesu FT-991"}, {3073, "Icom IC-7300"}};

template <typename T>
T* child(QWidget& dialog, const QString& name) {
    T* found = dialog.findChild<T*>(name);
    if (found == nullptr) {
        qWarning("no %s", qPrintable(name));
    }
    return found;
}

QString port(int number, const char* what) {
    return QString("Port%1%2").arg(number).arg(what);
}

// The keys written, as "section/key=value".
QStringList writes(const MemoryProfileStore& store) {
    QStringList out;
    for (const auto& w : store.writes()) {
        out << QString::fromStdString(w.section + "/" + w.key + "=" + w.value);
    }
    return out;
}

void clickOk(QWidget& dialog) {
    QTest::mouseClick(child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
}

// Runs action on the modal Port devices dialog once it is up; gives up,
// failing the test, when none comes.
void whenDialogOpens(const std::function<void(PortDevicesDialog&)>& action) {
    auto* poll = new QTimer;
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    QObject::connect(poll, &QTimer::timeout, [poll, waited, action] {
        auto* dialog = qobject_cast<PortDevicesDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr || waited->hasExpired(5000)) {
            poll->stop();
            poll->deleteLater();
            if (dialog == nullptr) {
                QTest::qFail("the dialog never opened", __FILE__, __LINE__);
                return;
            }
            action(*dialog);
        }
    });
    poll->start(5);
}

void setText(QComboBox* list, const QString& text) {
    list->setFocus();
    list->lineEdit()->selectAll();
    QTest::keyClicks(list, text);
}

}  // namespace

class TestPortDevices : public QObject {
    Q_OBJECT

  private slots:
    // ------------------------------------------------ the rows without widgets

    void readsEachPortAndTheTimings() {
        MemoryProfileStore store;
        store.writeString(kFile, "Ports", "COM1", " /dev/ttyUSB0 ");
        store.writeString(kFile, "Ports", "COM2", "rigctld shack:4533");
        store.writeString(kFile, "Ports", "COM3", "serial please");
        store.writeString(kFile, "PTT", "LeadMs", "150");
        store.writeString(kFile, "PTT", "TimeoutSeconds", "ninety");
        const auto values = PortSettings::read(store, kFile);
        QCOMPARE(values.ports[0].stored, std::string("/dev/ttyUSB0"));
        QCOMPARE(values.ports[0].route.device, std::string("/dev/ttyUSB0"));
        QCOMPARE(values.ports[1].route.kind, pelkora::PortRoute::Kind::Rigctld);
        QCOMPARE(values.ports[1].route.tcpPort, 4533);
        QCOMPARE(values.ports[2].stored, std::string("serial please"));
        QVERIFY(!values.ports[2].error.empty());
        QCOMPARE(values.ports[3].stored, std::string());
        QCOMPARE(values.ports[3].route.device, std::string("/dev/ttyS3"));
        QVERIFY(values.ports[3].error.empty());
        QCOMPARE(values.timing, (PttTiming{150, 0, 0}));
        QCOMPARE(values.timingComplaints.size(), std::size_t(1));
    }

    void storesOnlyWhatTheOperatorChanged_data() {
        QTest::addColumn<int>("row");  // 1..8; the row given the line
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("error");
        QTest::newRow("untouched") << 0 << QString() << QStringList() << QString();
        QTest::newRow("same as stored") << 1 << "/dev/ttyUSB0" << QStringList() << QString();
        QTest::newRow("new device")
            << 1 << "/dev/ttyACM0" << QStringList{"Ports/COM1=/dev/ttyACM0"} << QString();
        QTest::newRow("normalised")
            << 2 << "RIGCTLD   shack" << QStringList{"Ports/COM2=rigctld shack:4532"} << QString();
        QTest::newRow("default, not stored before")
            << 4 << "/dev/ttyS3" << QStringList() << QString();
        QTest::newRow("unreadable row changed")
            << 3 << "cm108 /dev/hidraw1" << QStringList{"Ports/COM3=cm108 /dev/hidraw1 3"}
            << QString();
        QTest::newRow("unreadable row still unreadable")
            << 3 << "serial please" << QStringList()
            << "COM3: The port kind \"serial\" is not known; use a device path such as "
               "/dev/ttyUSB0, or rigctld, rig or cm108.";
        QTest::newRow("emptied") << 1 << "" << QStringList()
                                 << "COM1: The port is empty; give a device such as /dev/ttyUSB0.";
    }
    void storesOnlyWhatTheOperatorChanged() {
        QFETCH(int, row);
        QFETCH(QString, line);
        QFETCH(QStringList, expected);
        QFETCH(QString, error);
        MemoryProfileStore store;
        store.writeString(kFile, "Ports", "COM1", "/dev/ttyUSB0");
        store.writeString(kFile, "Ports", "COM3", "serial please");
        const auto before = PortSettings::read(store, kFile);
        PortSettings::Edit edit;
        edit.timing = before.timing;
        if (row > 0) {
            edit.ports[static_cast<std::size_t>(row - 1)] = line.toStdString();
        }
        const auto changes = PortSettings::changes(before, edit);
        QStringList got;
        for (const auto& entry : changes.entries) {
            got << QString::fromStdString(entry.section + "/" + entry.key + "=" + entry.value);
        }
        QCOMPARE(got, expected);
        QCOMPARE(QString::fromStdString(changes.error), error);
    }

    void storesATimingOnlyWhenItChanged() {
        MemoryProfileStore store;
        store.writeString(kFile, "PTT", "LeadMs", "abc");
        store.writeString(kFile, "PTT", "TailMs", "200");
        const auto before = PortSettings::read(store, kFile);
        PortSettings::Edit edit;
        edit.timing = {0, 200, 120};
        QStringList got;
        for (const auto& entry : PortSettings::changes(before, edit).entries) {
            got << QString::fromStdString(entry.key + "=" + entry.value);
        }
        QCOMPARE(got, QStringList{"TimeoutSeconds=120"});
    }

    // ------------------------------------------------ the dialog

    void offersTheDevicesFoundWithTheirDescriptions() {
        DeviceTree tree;
        MemoryProfileStore store;
        PortDevicesDialog dialog(store, kFile, kModels, tree.discovery());
        QCOMPARE(dialog.windowTitle(), QString("Port devices"));
        auto* serial = child<QComboBox>(dialog, port(1, "Device"));
        QCOMPARE(serial->count(), 1);
        const QString byId = tree.path("dev/serial/by-id/usb-FTDI_A10K-if00-port0");
        QCOMPARE(serial->itemText(0),
                 byId + "  \u2014  FTDI FT232R USB UART, serial A10K (ttyUSB0)");
        auto* hid = child<QComboBox>(dialog, port(1, "HidDevice"));
        QCOMPARE(hid->count(), 2);
        QVERIFY2(hid->itemText(0).startsWith(tree.path("dev/hidraw1")), "C-Media not first");
        QVERIFY(hid->itemText(0).endsWith("CM108 family"));
        auto* models = child<QComboBox>(dialog, port(1, "RigModel"));
        QCOMPARE(models->itemText(1), QString("Icom IC-7300 (3073)"));

        // Choosing a device puts its path in the field, and OK stores the path.
        serial->setFocus();
        serial->setCurrentIndex(0);
        emit serial->activated(0);
        QCOMPARE(serial->currentText(), byId);
        clickOk(dialog);
        QCOMPARE(writes(store), QStringList{"Ports/COM1=" + byId});
    }

    void showsEachStoredKindAndMarksAnUnreadableValue() {
        MemoryProfileStore store;
        store.writeString(kFile, "Ports", "COM1", "/dev/ttyUSB0");
        store.writeString(kFile, "Ports", "COM2", "rigctld [::1]:4533");
        store.writeString(kFile, "Ports", "COM3", "rig 9999 /dev/ttyUSB1 4800");
        store.writeString(kFile, "Ports", "COM4", "cm108 /dev/hidraw2 5");
        store.writeString(kFile, "Ports", "COM5", "rig FT991 /dev/ttyUSB2");
        store.writeString(kFile, "PTT", "LeadMs", "120");
        store.writeString(kFile, "PTT", "TailMs", "80");
        store.writeString(kFile, "PTT", "TimeoutSeconds", "180");
        const auto setUp = writes(store).size();
        PortDevicesDialog dialog(store, kFile, kModels, DeviceTree().discovery());
        QCOMPARE(child<QComboBox>(dialog, port(1, "Kind"))->currentText(), QString("Serial port"));
        QCOMPARE(child<QComboBox>(dialog, port(1, "Device"))->currentText(), "/dev/ttyUSB0");
        QCOMPARE(child<QStackedWidget>(dialog, port(2, "Fields"))->currentIndex(), 1);
        QCOMPARE(child<QLineEdit>(dialog, port(2, "Host"))->text(), QString("::1"));
        QCOMPARE(child<QSpinBox>(dialog, port(2, "TcpPort"))->value(), 4533);
        QCOMPARE(child<QComboBox>(dialog, port(3, "Kind"))->currentText(), QString("Radio (CAT)"));
        QCOMPARE(child<QComboBox>(dialog, port(3, "RigModel"))->currentText(), "Model 9999");
        QCOMPARE(child<QComboBox>(dialog, port(3, "RigDevice"))->currentText(), "/dev/ttyUSB1");
        QCOMPARE(child<QComboBox>(dialog, port(3, "Baud"))->currentText(), QString("4800"));
        QCOMPARE(child<QComboBox>(dialog, port(4, "HidDevice"))->currentText(), "/dev/hidraw2");
        QCOMPARE(child<QSpinBox>(dialog, port(4, "Gpio"))->value(), 5);
        QCOMPARE(child<QComboBox>(dialog, port(5, "Device"))->currentText(),
                 QString("rig FT991 /dev/ttyUSB2"));
        QVERIFY(!child<QLabel>(dialog, port(5, "Warning"))->pixmap().isNull());
        QVERIFY(child<QLabel>(dialog, port(5, "Warning"))->toolTip().contains("FT991"));
        QVERIFY(child<QLabel>(dialog, port(1, "Warning"))->pixmap().isNull());
        QCOMPARE(child<QComboBox>(dialog, port(6, "Device"))->currentText(), "/dev/ttyS5");
        QCOMPARE(dialog.timing(), (PttTiming{120, 80, 180}));

        // Nothing changed: nothing is stored, the unreadable value stays.
        clickOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(writes(store).mid(setUp), QStringList());
        QCOMPARE(store.readString(kFile, "Ports", "COM5", ""), "rig FT991 /dev/ttyUSB2");
    }

    void storesTheRowsAndTimingsTheOperatorSetAndReadsThemBack() {
        MemoryProfileStore store;
        store.writeString(kFile, "Ports", "COM2", "nonsense here");
        {
            PortDevicesDialog dialog(store, kFile, kModels, DeviceTree().discovery());
            dialog.show();
            setText(child<QComboBox>(dialog, port(1, "Device")), "/dev/ttyACM3");
            child<QComboBox>(dialog, port(2, "Kind"))->setCurrentIndex(1);
            child<QLineEdit>(dialog, port(2, "Host"))->setText("fe80::2");
            child<QComboBox>(dialog, port(3, "Kind"))->setCurrentIndex(2);
            child<QComboBox>(dialog, port(3, "RigModel"))->setCurrentIndex(0);
            setText(child<QComboBox>(dialog, port(3, "RigDevice")), "/dev/ttyUSB1");
            auto* baud = child<QComboBox>(dialog, port(3, "Baud"));
            baud->setCurrentIndex(baud->findText("38400"));
            child<QComboBox>(dialog, port(8, "Kind"))->setCurrentIndex(3);
            setText(child<QComboBox>(dialog, port(8, "HidDevice")), "/dev/hidraw1");
            child<QSpinBox>(dialog, port(8, "Gpio"))->setValue(4);
            child<QSpinBox>(dialog, "LeadMs")->setValue(250);
            child<QSpinBox>(dialog, "TimeoutSeconds")->setValue(90);
            clickOk(dialog);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.timing(), (PttTiming{250, 0, 90}));
        }
        QCOMPARE(writes(store), (QStringList{"Ports/COM2=nonsense here", "Ports/COM1=/dev/ttyACM3",
                                             "Ports/COM2=rigctld [fe80::2]:4532",
                                             "Ports/COM3=rig 1035 /dev/ttyUSB1 38400",
                                             "Ports/COM8=cm108 /dev/hidraw1 4", "PTT/LeadMs=250",
                                             "PTT/TimeoutSeconds=90"}));
        // The set-up's write and the dialog's, all its keys in one.
        QCOMPARE(store.writePasses(), 2);

        PortDevicesDialog again(store, kFile, kModels, DeviceTree().discovery());
        QCOMPARE(child<QComboBox>(again, port(3, "RigModel"))->currentText(),
                 QString("Yaesu FT-991 (1035)"));
        QCOMPARE(child<QLineEdit>(again, port(2, "Host"))->text(), QString("fe80::2"));
        QVERIFY(child<QLabel>(again, port(2, "Warning"))->pixmap().isNull());
        QCOMPARE(again.timing(), (PttTiming{250, 0, 90}));
    }

    void aRowThatDoesNotReadKeepsTheDialogOpen() {
        MemoryProfileStore store;
        QStringList errors;
        PortDevicesDialog dialog(store, kFile, kModels, DeviceTree().discovery(),
                                 [&](const QString& m) { errors << m; });
        dialog.show();
        child<QComboBox>(dialog, port(2, "Kind"))->setCurrentIndex(1);
        child<QLineEdit>(dialog, port(2, "Host"))->setText("ho$t");
        child<QSpinBox>(dialog, "TailMs")->setValue(40);
        clickOk(dialog);
        QCOMPARE(errors, QStringList{"COM2: The host \"ho$t\" is not a host name or address; "
                                     "write it as localhost:4532."});
        QVERIFY(dialog.isVisible());
        QCOMPARE(writes(store), QStringList());
    }

    void aRefusedWriteIsReportedAndTheDialogStaysOpen() {
        MemoryProfileStore store;
        store.refuseWrites(kFile);
        QStringList errors;
        PortDevicesDialog dialog(store, kFile, kModels, DeviceTree().discovery(),
                                 [&](const QString& m) { errors << m; });
        dialog.show();
        child<QSpinBox>(dialog, "LeadMs")->setValue(100);
        clickOk(dialog);
        QCOMPARE(errors, QStringList{QString::fromStdString("Unable to write to " + kFile)});
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.result() != QDialog::Accepted);
    }

    void withoutAModelListTheNumberIsTyped() {
        MemoryProfileStore store;
        PortDevicesDialog dialog(store, kFile, {}, DeviceTree().discovery());
        dialog.show();
        child<QComboBox>(dialog, port(1, "Kind"))->setCurrentIndex(2);
        auto* model = child<QComboBox>(dialog, port(1, "RigModel"));
        QVERIFY(model->isEditable());
        setText(model, "2");
        setText(child<QComboBox>(dialog, port(1, "RigDevice")), "/dev/ttyACM0");
        clickOk(dialog);
        QCOMPARE(writes(store), QStringList{"Ports/COM1=rig 2 /dev/ttyACM0"});
    }

    // ------------------------------------------------ the menu

    void theMenuItemOpensTheDialogAndOkReopensThePort() {
        pelkora::test::MainWindowFixture fixture;
        fixture.seed("Config", "PTTPort", "2");
        fixture.build();
        const QList<QAction*> items = fixture.find<QMenu>("PTTinterface1")->actions();
        QCOMPARE(items.size(), 15);  // nine ports, three lines, two separators, the item
        QVERIFY(items[13]->isSeparator());
        QCOMPARE(items[14]->objectName(), QString("PortDevicesItem"));
        QCOMPARE(items[14]->text(), QString("Port devices\u2026"));
        const auto opensBefore = fixture.serialLines.calls().size();

        whenDialogOpens([](PortDevicesDialog& dialog) {
            setText(child<QComboBox>(dialog, port(2, "Device")), "/dev/ttyUSB5");
            child<QSpinBox>(dialog, "LeadMs")->setValue(300);
            clickOk(dialog);
        });
        items[14]->trigger();
        QVERIFY(fixture.profiles.writes.contains("Ports/COM2=/dev/ttyUSB5"));
        QVERIFY(fixture.profiles.writes.contains("PTT/LeadMs=300"));
        const auto& calls = fixture.serialLines.calls();
        QVERIFY(std::find(calls.begin() + static_cast<std::ptrdiff_t>(opensBefore), calls.end(),
                          "open COM2") != calls.end());
        QCOMPARE(fixture.errors, QStringList());

        // Cancel leaves the port alone.
        fixture.serialLines.clearCalls();
        whenDialogOpens([](PortDevicesDialog& dialog) { dialog.reject(); });
        items[14]->trigger();
        QCOMPARE(fixture.serialLines.calls().size(), std::size_t(0));
    }
};

QTEST_MAIN(TestPortDevices)
#include "tst_portdevices.moc"
