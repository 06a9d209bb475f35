#include "ui/ptt/PortDevicesDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace pelkora {

namespace {

constexpr int kDefaultTcpPort = 4532;
constexpr int kDefaultGpio = 3;
constexpr int kDeviceCharacters = 24;
// Rates a CAT port is commonly set to; the parser takes a few more, which a
// stored value can still bring in.
constexpr std::array kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

QString name(const char* what, int number) {
    return QString("Port%1%2").arg(number).arg(what);
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return label;
}

QHBoxLayout* plainRow(QWidget* page) {
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    return row;
}

QSpinBox* spinBox(const QString& objectName, int maximum, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(objectName);
    box->setRange(0, maximum);
    box->setAccelerated(true);
    return box;
}

}  // namespace

PortDevicesDialog::PortDevicesDialog(ProfileStore& profiles, std::string settingsFile,
                                     std::vector<RigModelChoice> rigModels,
                                     SerialDeviceDiscovery discovery, ErrorHandler showError,
                                     QWidget* parent)
    : QDialog(parent),
      profiles_(profiles),
      settingsFile_(std::move(settingsFile)),
      rigModels_(std::move(rigModels)),
      serialPorts_(discovery.serialPorts()),
      hidDevices_(discovery.hidDevices()),
      showError_(std::move(showError)),
      stored_(PortSettings::read(profiles_, settingsFile_)) {
    setObjectName("PortDevicesDialog");
    setWindowTitle("Port devices");
    // The C-Media chips first: they are the ones whose pins can key.
    std::stable_partition(hidDevices_.begin(), hidDevices_.end(),
                          [](const auto& device) { return device.cm108Family; });
    auto* column = new QVBoxLayout(this);
    column->addWidget(buildPorts());
    column->addWidget(buildTimings());
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->setObjectName("ButtonBox");
    buttons_->button(QDialogButtonBox::Ok)->setObjectName("OkButton");
    buttons_->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
    connect(buttons_, &QDialogButtonBox::accepted, this, &PortDevicesDialog::save);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons_);
}

QWidget* PortDevicesDialog::buildPorts() {
    auto* box = new QGroupBox("Ports", this);
    box->setObjectName("PortsBox");
    auto* grid = new QGridLayout(box);
    grid->setColumnStretch(3, 1);
    loading_ = true;
    for (int number = 1; number <= PortSettings::kPorts; ++number) {
        buildRow(number, grid);
    }
    loading_ = false;
    return box;
}

void PortDevicesDialog::buildRow(int number, QGridLayout* grid) {
    Row& row = rows_[static_cast<std::size_t>(number - 1)];
    QWidget* parent = grid->parentWidget();
    auto* label = caption(QString("COM%1").arg(number), parent);
    label->setObjectName(name("Label", number));
    row.warning = new QLabel(parent);
    row.warning->setObjectName(name("Warning", number));
    const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize);
    row.warning->setFixedWidth(iconSize);
    row.kind = new QComboBox(parent);
    row.kind->setObjectName(name("Kind", number));
    row.kind->addItems({"Serial port", "rigctld", "Radio (CAT)", "CM108 GPIO"});
    row.pages = new QStackedWidget(parent);
    row.pages->setObjectName(name("Fields", number));
    row.pages->addWidget(serialPage(number, row));
    row.pages->addWidget(rigctldPage(number, row));
    row.pages->addWidget(rigPage(number, row));
    row.pages->addWidget(cm108Page(number, row));
    connect(row.kind, &QComboBox::currentIndexChanged, row.pages, &QStackedWidget::setCurrentIndex);
    grid->addWidget(label, number - 1, 0);
    grid->addWidget(row.warning, number - 1, 1);
    grid->addWidget(row.kind, number - 1, 2);
    grid->addWidget(row.pages, number - 1, 3);
    load(row, stored_.ports[static_cast<std::size_t>(number - 1)]);
    watch(row);
}

QWidget* PortDevicesDialog::serialPage(int number, Row& row) {
    auto* page = new QWidget(this);
    row.serialDevice = deviceList(name("Device", number), serialPorts_);
    plainRow(page)->addWidget(row.serialDevice, 1);
    return page;
}

QWidget* PortDevicesDialog::rigctldPage(int number, Row& row) {
    auto* page = new QWidget(this);
    auto* fields = plainRow(page);
    row.host = new QLineEdit(page);
    row.host->setObjectName(name("Host", number));
    row.tcpPort = spinBox(name("TcpPort", number), 65535, page);
    row.tcpPort->setMinimum(1);
    fields->addWidget(caption("Host", page));
    fields->addWidget(row.host, 1);
    fields->addWidget(caption("Port", page));
    fields->addWidget(row.tcpPort);
    return page;
}

QWidget* PortDevicesDialog::rigPage(int number, Row& row) {
    auto* page = new QWidget(this);
    auto* fields = plainRow(page);
    row.rigModel = new QComboBox(page);
    row.rigModel->setObjectName(name("RigModel", number));
    for (const RigModelChoice& choice : rigModels_) {
        row.rigModel->addItem(
            QString::fromStdString(choice.label) + QString(" (%1)").arg(choice.model),
            choice.model);
    }
    // Without a list (no Hamlib) the operator types the model number.
    row.rigModel->setEditable(rigModels_.empty());
    row.rigModel->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    row.rigModel->setMinimumContentsLength(14);
    row.rigDevice = deviceList(name("RigDevice", number), serialPorts_);
    row.baud = new QComboBox(page);
    row.baud->setObjectName(name("Baud", number));
    row.baud->addItem("Radio's default", 0);
    for (const int rate : kBaudRates) {
        row.baud->addItem(QString::number(rate), rate);
    }
    fields->addWidget(row.rigModel, 1);
    fields->addWidget(row.rigDevice, 1);
    fields->addWidget(row.baud);
    return page;
}

QWidget* PortDevicesDialog::cm108Page(int number, Row& row) {
    auto* page = new QWidget(this);
    auto* fields = plainRow(page);
    row.hidDevice = deviceList(name("HidDevice", number), hidDevices_);
    row.gpio = spinBox(name("Gpio", number), 8, page);
    row.gpio->setMinimum(1);
    // Room for the digit beside the arrows, which some styles crowd.
    row.gpio->setMinimumWidth(row.gpio->sizeHint().width() +
                              row.gpio->fontMetrics().averageCharWidth() * 2);
    fields->addWidget(row.hidDevice, 1);
    fields->addWidget(caption("GPIO", page));
    fields->addWidget(row.gpio);
    return page;
}

// An editable list: each found device shows its path and description, and
// choosing one puts its path in the field; any other path may be typed.
QComboBox* PortDevicesDialog::deviceList(const QString& objectName,
                                         const std::vector<SerialDeviceDiscovery::Device>& found) {
    auto* list = new QComboBox(this);
    list->setObjectName(objectName);
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(kDeviceCharacters);
    for (const auto& device : found) {
        const QString path = QString::fromStdString(device.path);
        list->addItem(path + "  \u2014  " + QString::fromStdString(device.description), path);
        list->setItemData(list->count() - 1, path, Qt::ToolTipRole);
    }
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0));
    connect(list, &QComboBox::activated, list,
            [list](int index) { list->setEditText(list->itemData(index).toString()); });
    list->setEditText({});
    return list;
}

void PortDevicesDialog::watch(Row& row) {
    const auto touch = [this, &row] {
        if (!loading_) {
            row.touched = true;
        }
    };
    for (QComboBox* list : {row.serialDevice, row.rigDevice, row.hidDevice, row.rigModel}) {
        connect(list, &QComboBox::editTextChanged, this, touch);
        connect(list, &QComboBox::currentIndexChanged, this, touch);
    }
    connect(row.kind, &QComboBox::currentIndexChanged, this, touch);
    connect(row.baud, &QComboBox::currentIndexChanged, this, touch);
    connect(row.host, &QLineEdit::textChanged, this, touch);
    connect(row.tcpPort, &QSpinBox::valueChanged, this, touch);
    connect(row.gpio, &QSpinBox::valueChanged, this, touch);
}

void PortDevicesDialog::load(Row& row, const PortSettings::Port& port) {
    row.host->setText("localhost");
    row.tcpPort->setValue(kDefaultTcpPort);
    row.gpio->setValue(kDefaultGpio);
    if (!port.error.empty()) {
        // Shown as typed, in the field a plain device goes in, for the
        // operator to correct; stored again only when changed.
        row.kind->setCurrentIndex(SerialPage);
        row.serialDevice->setEditText(QString::fromStdString(port.stored));
        const int size = style()->pixelMetric(QStyle::PM_SmallIconSize);
        row.warning->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size));
        row.warning->setToolTip(QString::fromStdString(port.error));
        row.serialDevice->setToolTip(QString::fromStdString(port.error));
        return;
    }
    loadRoute(row, port.route);
}

void PortDevicesDialog::loadRoute(Row& row, const PortRoute& route) {
    const QString device = QString::fromStdString(route.device);
    switch (route.kind) {
        case PortRoute::Kind::Serial:
            row.kind->setCurrentIndex(SerialPage);
            row.serialDevice->setEditText(device);
            break;
        case PortRoute::Kind::Rigctld:
            row.kind->setCurrentIndex(RigctldPage);
            row.host->setText(QString::fromStdString(route.host));
            row.tcpPort->setValue(route.tcpPort);
            break;
        case PortRoute::Kind::HamlibRig:
            row.kind->setCurrentIndex(RigPage);
            selectRigModel(row.rigModel, route.rigModel);
            row.rigDevice->setEditText(device);
            if (row.baud->findData(route.baudRate) < 0) {
                row.baud->addItem(QString::number(route.baudRate), route.baudRate);
            }
            row.baud->setCurrentIndex(row.baud->findData(route.baudRate));
            break;
        case PortRoute::Kind::Cm108:
            row.kind->setCurrentIndex(Cm108Page);
            row.hidDevice->setEditText(device);
            row.gpio->setValue(route.gpio);
            break;
    }
}

// A model the list does not hold (a Hamlib older or newer than the file) is
// kept under its number.
void PortDevicesDialog::selectRigModel(QComboBox* list, int model) {
    if (list->findData(model) < 0) {
        list->addItem(QString("Model %1").arg(model), model);
    }
    list->setCurrentIndex(list->findData(model));
}

QWidget* PortDevicesDialog::buildTimings() {
    auto* box = new QGroupBox("PTT", this);
    box->setObjectName("TimingBox");
    auto* form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    const PttTiming& timing = stored_.timing;
    leadMs_ = spinBox("LeadMs", static_cast<int>(PttTiming::kMaxLeadMs), box);
    leadMs_->setValue(static_cast<int>(timing.leadMs));
    tailMs_ = spinBox("TailMs", static_cast<int>(PttTiming::kMaxTailMs), box);
    tailMs_->setValue(static_cast<int>(timing.tailMs));
    timeoutSeconds_ =
        spinBox("TimeoutSeconds", static_cast<int>(PttTiming::kMaxTimeoutSeconds), box);
    timeoutSeconds_->setSpecialValueText("off");
    timeoutSeconds_->setValue(static_cast<int>(timing.timeoutSeconds));
    form->addRow("PTT lead (ms)", leadMs_);
    form->addRow("PTT tail (ms)", tailMs_);
    form->addRow("Transmit time-out (s)", timeoutSeconds_);
    if (!stored_.timingComplaints.empty()) {
        std::string text;
        for (const auto& complaint : stored_.timingComplaints) {
            text += (text.empty() ? "" : "\n") + complaint;
        }
        auto* warning = new QLabel(QString::fromStdString(text), box);
        warning->setObjectName("TimingWarning");
        warning->setWordWrap(true);
        form->addRow(warning);
    }
    return box;
}

PttTiming PortDevicesDialog::timing() const {
    return {leadMs_->value(), tailMs_->value(), timeoutSeconds_->value()};
}

// The field's text, or the value behind it when it is one of the list's items
// (a device's path, a radio model's number).
std::string PortDevicesDialog::chosenValue(const QComboBox* list) {
    const QString text = list->currentText().trimmed();
    const int index = list->findText(text);
    return (index >= 0 ? list->itemData(index).toString() : text).toStdString();
}

// The row as one [Ports] line, for the parser to check and normalise.
std::string PortDevicesDialog::rowLine(const Row& row) {
    switch (row.kind->currentIndex()) {
        case RigctldPage: {
            const std::string host = row.host->text().trimmed().toStdString();
            const bool ipv6 = host.find(':') != std::string::npos && !host.starts_with('[');
            return "rigctld " + (ipv6 ? "[" + host + "]" : host) + ":" +
                   std::to_string(row.tcpPort->value());
        }
        case RigPage: {
            const int baud = row.baud->currentData().toInt();
            return "rig " + chosenValue(row.rigModel) + " " + chosenValue(row.rigDevice) +
                   (baud != 0 ? " " + std::to_string(baud) : std::string());
        }
        case Cm108Page:
            return "cm108 " + chosenValue(row.hidDevice) + " " + std::to_string(row.gpio->value());
        default:
            return chosenValue(row.serialDevice);
    }
}

void PortDevicesDialog::save() {
    PortSettings::Edit edit;
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        if (rows_[index].touched) {
            edit.ports[index] = rowLine(rows_[index]);
        }
    }
    edit.timing = timing();
    const PortSettings::Changes changes = PortSettings::changes(stored_, edit);
    if (!changes.error.empty()) {
        reportError(QString::fromStdString(changes.error));
        return;
    }
    try {
        if (!changes.entries.empty()) {
            profiles_.writeStrings(settingsFile_, changes.entries);
        }
    } catch (const std::exception& error) {
        // Nothing was stored: the dialog stays open for another try or Cancel.
        reportError(QString::fromLocal8Bit(error.what()));
        return;
    }
    accept();
}

void PortDevicesDialog::reportError(const QString& message) {
    if (showError_) {
        showError_(message);
        return;
    }
    QMessageBox::warning(this, "Port devices", message);
}

}  // namespace pelkora
