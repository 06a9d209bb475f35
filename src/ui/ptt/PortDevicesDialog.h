#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/ptt/PttTiming.h"
#include "core/ptt/RigModelChoice.h"
#include "platform/ProfileStore.h"
#include "platform/posix/SerialDeviceDiscovery.h"
#include "ui/ptt/PortSettings.h"

class QComboBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStackedWidget;

namespace pelkora {

// "Port devices": what each of COM1..COM8 is (a serial port, rigctld, a radio
// on a CAT port, a CM108 GPIO pin) and the PTT lead, tail and time-out. It
// reads [Ports] and [PTT] when made and stores them on OK; a refused write
// is reported through the error handler and the dialog stays open. A row
// whose stored value does not read shows it as typed, marked, and is stored
// again only if the operator changes that row.
// Threading: GUI thread only.
class PortDevicesDialog : public QDialog {
    Q_OBJECT
  public:
    using ErrorHandler = std::function<void(const QString& message)>;

    // rigModels fills the radio model lists; discovery finds the devices the
    // device lists offer. Without an error handler errors open a message box.
    PortDevicesDialog(ProfileStore& profiles, std::string settingsFile,
                      std::vector<RigModelChoice> rigModels,
                      SerialDeviceDiscovery discovery = SerialDeviceDiscovery(),
                      ErrorHandler showError = {}, QWidget* parent = nullptr);

    // The timings as the dialog holds them: after OK, those in force.
    PttTiming timing() const;

  private:
    enum Page { SerialPage, RigctldPage, RigPage, Cm108Page };
    struct Row {
        QLabel* warning = nullptr;
        QComboBox* kind = nullptr;
        QStackedWidget* pages = nullptr;
        QComboBox* serialDevice = nullptr;
        QLineEdit* host = nullptr;
        QSpinBox* tcpPort = nullptr;
        QComboBox* rigModel = nullptr;
        QComboBox* rigDevice = nullptr;
        QComboBox* baud = nullptr;
        QComboBox* hidDevice = nullptr;
        QSpinBox* gpio = nullptr;
        bool touched = false;
    };

    QWidget* buildPorts();
    void buildRow(int number, QGridLayout* grid);
    QWidget* serialPage(int number, Row& row);
    QWidget* rigctldPage(int number, Row& row);
    QWidget* rigPage(int number, Row& row);
    QWidget* cm108Page(int number, Row& row);
    QWidget* buildTimings();
    QComboBox* deviceList(const QString& name, const std::vector<SerialDeviceDiscovery::Device>&);
    void watch(Row& row);
    void load(Row& row, const PortSettings::Port& port);
    void loadRoute(Row& row, const PortRoute& route);
    void selectRigModel(QComboBox* list, int model);
    static std::string rowLine(const Row& row);
    static std::string chosenValue(const QComboBox* list);
    void save();
    void reportError(const QString& message);

    ProfileStore& profiles_;
    std::string settingsFile_;
    std::vector<RigModelChoice> rigModels_;
    std::vector<SerialDeviceDiscovery::Device> serialPorts_;
    std::vector<SerialDeviceDiscovery::Device> hidDevices_;
    ErrorHandler showError_;
    PortSettings::Values stored_;
    std::array<Row, PortSettings::kPorts> rows_;
    QSpinBox* leadMs_ = nullptr;
    QSpinBox* tailMs_ = nullptr;
    QSpinBox* timeoutSeconds_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
    bool loading_ = false;
};

}  // namespace pelkora
