#include "ui/app/TPelkoranForm.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDirIterator>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QMoveEvent>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <string_view>
#include <utility>

#include "core/app/DebugLogFormat.h"
#include "core/ptt/PttTiming.h"
#include "core/remote/ObjectCount.h"
#include "core/settings/ProfileInteger.h"
#include "platform/posix/CaseBlindPath.h"
#include "platform/posix/ConfigLocation.h"
#include "ui/app/AbsentMixerLayer.h"
#include "ui/app/QtPlacement.h"
#include "ui/app/TVolForm.h"
#include "ui/dialogs/TAboutForm.h"
#include "ui/dialogs/TEditMacrosForm.h"
#include "ui/dialogs/TfrmSoundDirectory.h"
#include "ui/keyer/MacroButtonBar.h"
#include "ui/ptt/LedGlyphs.h"
#include "ui/ptt/PortDevicesDialog.h"
#include "ui/ptt/PttMenuView.h"
#include "ui/recording/RecordingDesk.h"
#include "ui/remote/HookMessageFilter.h"
#include "ui/widgets/TLedLadder.h"

namespace pelkora {

namespace {

constexpr int kClientWidth = 544;  // 552 outside, less the border
constexpr int kDesignOuterWidth = 552;
constexpr int kClientHeight = 315;
constexpr int kDesignLeft = 454;
constexpr int kDesignTop = 206;
const char* const kMainSection = "TPelkoranForm";
const char* const kVolSection = "TVolForm";

// A row of the window: fixed height, children laid out by hand or by a box.
QWidget* bar(QWidget* parent, const char* name, int height) {
    auto* widget = new QWidget(parent);
    widget->setObjectName(name);
    widget->setFixedHeight(height);
    return widget;
}

// What the status line needs to know of the file system.
StatusLine::Looks desktopLooks() {
    return StatusLine::Looks{
        [](const std::string& dir) {
            const QString path = QString::fromStdString(dir);
            if (path.isEmpty() || !QFileInfo(path).isDir()) {
                return StatusLine::Directory::Missing;
            }
            QDirIterator recordings(path, {"*.wav"}, QDir::Files | QDir::Readable);
            return recordings.hasNext() ? StatusLine::Directory::HasRecordings
                                        : StatusLine::Directory::Empty;
        },
        // Found as the player finds it: case-blind when the exact name is not there.
        [](const std::string& file) {
            return QFileInfo::exists(QString::fromStdString(CaseBlindPath::resolve(file)));
        }};
}

QPushButton* toggleButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setCheckable(true);
    button->setFixedSize(60, 21);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

TPelkoranForm::TPelkoranForm(const DesktopServices& services, QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      settingsFile_(joinPath(services.startDir, kSettingsFileName)),
      placementFile_(settingsFile_),
      ptt_(services.pttDevices, [this](const std::string& m) { onError(m); }),
      pttMenu_(
          ptt_, services.profiles, [this] { return settingsFile_; },
          [this](const std::string& m) { onError(m); }),
      engine_(KeyerServices{services.scheduler, services.sound, services.wavProbe, services.bus,
                            services.profiles, services.log, ptt_, *this}),
      hookKey_(engine_, *this),
      statusLine_(desktopLooks()) {
    setObjectName("PelkoranForm");
    setWindowTitle("Pelkora");
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildTopBar(central);
    panel1_ = new MacroButtonBar(central);
    connect(panel1_, &MacroButtonBar::macroClicked, this, [this](int key) { AddSoundClick(key); });
    column->addWidget(central->findChild<QWidget*>("TopBar"));
    column->addWidget(panel1_);
    buildCallBar(central);
    column->addWidget(central->findChild<QWidget*>("CallBar"));
    speechMemo_ = new QPlainTextEdit(central);
    speechMemo_->setObjectName("SpeechMemo");
    speechMemo_->setReadOnly(true);
    speechMemo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    column->addWidget(speechMemo_);
    statusLabel_ = new QLabel(central);
    statusLabel_->setObjectName("StatusLine");
    statusLabel_->setWordWrap(true);
    statusLabel_->setStyleSheet(
        "#StatusLine { border-top: 1px solid palette(mid); padding: 2px 4px; }");
    statusLabel_->setTextFormat(Qt::PlainText);
    statusLabel_->hide();
    column->addWidget(statusLabel_);
    setCentralWidget(central);
    buildMenus();
    resize(kClientWidth, kClientHeight);
    move(kDesignLeft, kDesignTop);
    qApp->installEventFilter(this);
    hookFilter_ = HookMessageFilter::install(
        [this](std::uint16_t key) { runGuarded([&] { hookKey_.HookKey(key); }); },
        [this](const std::string& what) { reportFault(what); });

    FormCreate();
    refreshStatusLine();

    editMacrosForm_ = new TEditMacrosForm(*this, this);
    aboutForm_ = new TAboutForm(this);
    volForm_ = std::make_unique<TVolForm>(this);
    // Without a mixer nothing acts on the regulators: they stay greyed.
    volForm_->setRegulatorsEnabled(microphone_->mixerAvailable());
    connectVolForm();
    connect(volForm_.get(), &TVolForm::closedByUser, this, [this] {
        // The program's end closes the tool window as well; the operator left
        // it open, so it is kept as open when it goes (releaseEverything).
        if (closing_) {
            return;
        }
        saveVolFormPlacement(false);
        showVolumeRegulators_->setChecked(false);
    });
    soundDirectoryForm_ = new TfrmSoundDirectory(this);
    buildRecordingDesk();
}

void TPelkoranForm::buildRecordingDesk() {
    recordings_ =
        new RecordingDesk(services_.recorders, services_.profiles, settingsFile_, services_.sound,
                          RecordingDesk::Sources{[this] { return macros_; },
                                                 [this] { return engine_.soundDirectory(); },
                                                 [this] { return recordingBusyReason(); }},
                          this);
    connect(recordings_, &RecordingDesk::statusChanged, this, [this] { refreshStatusLine(); });
}

std::string TPelkoranForm::recordingBusyReason() const {
    if (engine_.txDown()) {
        return "The transmitter is keyed: release it (Alt+T or Esc) to record or play";
    }
    if (!engine_.settled()) {
        return "A macro is playing: wait for its end or press Esc to record or play";
    }
    return {};
}

TPelkoranForm::~TPelkoranForm() {
    qApp->removeEventFilter(this);
    releaseEverything();
}

// -------------------------------------------------------------- building

void TPelkoranForm::buildTopBar(QWidget* parent) {
    QWidget* top = bar(parent, "TopBar", 29);
    auto* row = new QHBoxLayout(top);
    row->setContentsMargins(2, 4, 4, 4);
    row->setSpacing(2);
    sbTX_ = toggleButton(top, "sbTX", "&TX");
    sbTX_->setIcon(LedGlyphs::dark());
    pauseButton_ = toggleButton(top, "PauseButton", "&Pause");
    sbMike_ = toggleButton(top, "sbMike", "&Mike");
    // The label and the level bar keep their places right of the buttons.
    auto* lineOut = new QLabel("Line out", top);
    lineOut->adjustSize();
    lineOut->move(194, 9);
    outIndicator_ = new TLedLadder(top);
    outIndicator_->setObjectName("OutIndicator");
    outIndicator_->setGeometry(243, 5, 121, 21);
    outIndicator_->setOrientation(TLedLadder::trHorizontal);
    outIndicator_->setLedCount(20);
    outIndicator_->setBorderStyle(TLedLadder::bsNone);
    outIndicator_->setSpacing(0);
    indicatorTimer_ = new QTimer(this);
    indicatorTimer_->setObjectName("IndicatorTimer");
    indicatorTimer_->setInterval(50);
    connect(indicatorTimer_, &QTimer::timeout, this, &TPelkoranForm::IndicatorTimerTimer);
    indicatorTimer_->start();
    for (QWidget* widget : {static_cast<QWidget*>(sbTX_), static_cast<QWidget*>(pauseButton_),
                            static_cast<QWidget*>(sbMike_)}) {
        row->addWidget(widget);
    }
    row->addStretch(1);
    connect(sbTX_, &QPushButton::clicked, this,
            [this](bool down) { runGuarded([&] { engine_.setTxButton(down); }); });
    connect(pauseButton_, &QPushButton::clicked, this,
            [this](bool down) { runGuarded([&] { engine_.setPauseButton(down); }); });
    connect(sbMike_, &QPushButton::clicked, this, [this](bool down) { sbMikeClick(down); });
}

void TPelkoranForm::buildCallBar(QWidget* parent) {
    QWidget* callBar = bar(parent, "CallBar", 26);
    auto* row = new QHBoxLayout(callBar);
    row->setContentsMargins(4, 2, 4, 2);
    auto* callLabel = new QLabel("C&all", callBar);
    eCall_ = new QLineEdit(callBar);
    eCall_->setObjectName("eCall");
    // Typed letters become capitals, as the boxes of a logger do.
    connect(eCall_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const int cursor = eCall_->cursorPosition();
        eCall_->setText(text.toUpper());
        eCall_->setCursorPosition(cursor);
    });
    callLabel->setBuddy(eCall_);
    auto* rsLabel = new QLabel("&RS", callBar);
    eRS_ = new QLineEdit("59", callBar);
    eRS_->setObjectName("eRS");
    eRS_->setFixedWidth(48);
    rsLabel->setBuddy(eRS_);
    clearListButton_ = new QPushButton("&Clear", callBar);
    clearListButton_->setObjectName("ClearListButton");
    stopButton_ = new QPushButton("&Stop", callBar);
    stopButton_->setObjectName("StopButton");
    stopButton_->setEnabled(false);
    for (QWidget* widget :
         {static_cast<QWidget*>(callLabel), static_cast<QWidget*>(eCall_),
          static_cast<QWidget*>(rsLabel), static_cast<QWidget*>(eRS_),
          static_cast<QWidget*>(clearListButton_), static_cast<QWidget*>(stopButton_)}) {
        row->addWidget(widget);
    }
    connect(clearListButton_, &QPushButton::clicked, this,
            [this] { runGuarded([&] { engine_.ClearListButtonClick(); }); });
    connect(stopButton_, &QPushButton::clicked, this,
            [this] { runGuarded([&] { engine_.StopButtonClick(); }); });
}

void TPelkoranForm::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("E&xit", this, &QWidget::close)->setObjectName("Exit1");

    QMenu* setup = menuBar()->addMenu("&Setup");
    setup->setObjectName("Setup1");
    pttMenuView_ = new PttMenuView(pttMenu_, this);
    connect(pttMenuView_, &PttMenuView::itemClicked, this, [this](const QString& name) {
        pttMenu_.PTTClick(name.toStdString());
        pttMenuView_->sync();
    });
    connect(pttMenuView_, &PttMenuView::portDevicesClicked, this, [this] {
        PortDevicesDialog dialog(
            services_.profiles, settingsFile_,
            services_.rigModels ? services_.rigModels() : std::vector<RigModelChoice>(),
            SerialDeviceDiscovery(), [this](const QString& m) { showError(m); }, this);
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
        const PttTiming timing = dialog.timing();
        applyPttTiming(timing.leadMs, timing.tailMs, timing.timeoutSeconds);
        // The chosen port may now be another device: reopened as its menu item would.
        pttMenu_.PTTClick(pttMenu_.checkedPortItem());
        pttMenuView_->sync();
    });
    setup->addMenu(pttMenuView_);
    setup->addAction("&Edit macros", this, [this] { editMacrosForm_->exec(); })
        ->setObjectName("Editmacros1");
    buttonLines_ = setup->addMenu("Button lines");
    buttonLines_->setObjectName("Buttonlines1");
    auto* rowsGroup = new QActionGroup(this);
    for (int rows = 1; rows <= 4; ++rows) {
        QAction* item = buttonLines_->addAction(QString::number(rows));
        item->setObjectName(QString("N%1").arg(rows) + "1");
        item->setCheckable(true);
        rowsGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, rows] { ChangeLines(rows); });
    }
    alwaysOnTop_ = setup->addAction("Always on top");
    alwaysOnTop_->setObjectName("Alwaysontop1");
    alwaysOnTop_->setCheckable(true);
    connect(alwaysOnTop_, &QAction::toggled, this, [this](bool onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
        show();
        keepVolFormTransient();
    });
    showVolumeRegulators_ = setup->addAction("Show volume regulators");
    showVolumeRegulators_->setObjectName("ShowVolumeRegulators1");
    showVolumeRegulators_->setCheckable(true);
    connect(showVolumeRegulators_, &QAction::triggered, this,
            [this](bool show) { showVolumeRegulators(show); });
    setup
        ->addAction(
            "Sound directory", this,
            [this] {
                if (const auto chosen = soundDirectoryForm_->exchange(engine_.soundDirectory())) {
                    engine_.setSoundDir(*chosen);
                    refreshStatusLine();
                }
            })
        ->setObjectName("Sounddirectory1");
    setup->addAction("&Record messages…", this, [this] { recordings_->showWindow(); })
        ->setObjectName("Recordmessages1");
    keyboardHook_ = setup->addAction("Set keyboard hook");
    keyboardHook_->setObjectName("Setkeyboardhook1");
    keyboardHook_->setCheckable(true);
    connect(keyboardHook_, &QAction::triggered, this, [this] { Setkeyboardhook1Click(); });

    QMenu* help = menuBar()->addMenu("&?");
    help->addAction("&About", this, [this] { aboutForm_->exec(); })->setObjectName("About1");
    buildFKeyMenu();
}

void TPelkoranForm::buildFKeyMenu() {
    // The function keys are shortcuts of a menu that is never shown.
    auto* fkeys = new QMenu("F-keys", this);
    fkeys->setObjectName("Fkeys1");
    for (int key = 1; key <= 12; ++key) {
        QAction* item = fkeys->addAction(QString("F%1").arg(key));
        item->setObjectName(key == 1 ? QString("mF1") : QString("mf%1").arg(key));
        item->setShortcut(QKeySequence(Qt::Key_F1 + (key - 1)));
        item->setShortcutContext(Qt::WindowShortcut);
        connect(item, &QAction::triggered, this, [this, key] { AddSoundClick(key); });
        addAction(item);
    }
}

// ---------------------------------------------------------------- start-up

void TPelkoranForm::FormCreate() {
    const std::string& startDir = services_.startDir;
    // Does nothing unless the program was started with DEBUG.
    std::string error;
    const std::string logName = DebugLogFormat::fileName(startDir, FileDiagnosticLog::localNow());
    if (!services_.log.OpenDebugLog(logName, services_.programPath, &error)) {
        showError(QString::fromStdString(error));
    }
    services_.log.logString("StartDir", startDir);
    buildMixer();
    runGuarded([&] { microphone_->FindMicrophoneLines(); });
    // The window has no frame yet: its outer width is the design-time one.
    deltaLeft_ = kDesignOuterWidth + 5;
    deltaTop_ = kDesignTop;
    settings_.readPortAndPaths(services_.profiles, settingsFile_, startDir, &services_.log);
    engine_.setExternalIni(settings_.externalIni, settings_.externalIniSection);
    engine_.setSoundDir(settings_.soundDir);
    readPttTiming();
    pttMenu_.initialise(settings_.pttPort, settings_.pttLine);
    pttMenuView_->sync();
    settings_.readMacrosAndButtons(services_.profiles, settingsFile_);
    applySettingsToWidgets();
    startMeter();
}

void TPelkoranForm::buildMixer() {
    MixerLayer* layer = services_.mixer;
    if (layer == nullptr) {
        absentMixer_ = std::make_unique<AbsentMixerLayer>();
        layer = absentMixer_.get();
    }
    mixer_ = std::make_unique<TAudioMixer>(*layer);
    MicrophoneHost& host = *this;
    microphone_ = std::make_unique<MicrophoneMode>(*mixer_, engine_, services_.log, host);
}

void TPelkoranForm::startMeter() {
    // The meters are listed once, here; without a mixer the bar stays dark.
    if (services_.mixer != nullptr) {
        meterData_ = std::make_unique<TMeterData>(*services_.mixer);
        meterData_->OnLineChange = [this] { MeterDataLineChange(); };
        meterData_->setActive(true);
    }
    fitOutIndicatorToMeter();
}

void TPelkoranForm::fitOutIndicatorToMeter() {
    // Only the first meter is shown; with none the bar keeps its scale of 10.
    if (meterData_ && meterData_->MeterCount() > 0) {
        outIndicator_->setMax(meterData_->Meters(0).Maximum());
    }
    outIndicator_->setPosition(0);
}

void TPelkoranForm::IndicatorTimerTimer() {
    if (!meterData_ || !meterData_->Active()) {
        outIndicator_->setPosition(0);
        return;
    }
    // The bar repaints from the loop as soon as this returns; no nested
    // event processing here, which would let a tick run inside a handler.
    if (meterData_->MeterCount() > 0) {
        outIndicator_->setPosition(LedLadderMath::levelOf(meterData_->Meters(0).ReadValue()));
    }
}

void TPelkoranForm::applySettingsToWidgets() {
    macros_ = settings_.macros;
    for (int key = 1; key <= 12; ++key) {
        panel1_->setCaption(key, QString::fromStdString(settings_.captions[key - 1]));
    }
    buttonRows_ = settings_.buttonRows;
    for (QAction* item : buttonLines_->actions()) {
        item->setChecked(item->text().toInt() == buttonRows_);
    }
    FormResize();
}

void TPelkoranForm::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        outIndicator_->setMin(0);
        fitOutIndicatorToMeter();
        const auto decision =
            QtPlacement::restore(services_.profiles, placementFile_, kMainSection, *this, true);
        placement_.onRestored();
        const std::int32_t show = readProfileInteger(services_.profiles, settingsFile_, "Menus",
                                                     "ShowVolumeRegulators", 1);
        showVolumeRegulators_->setChecked(show == 1);
        if (show == 1) {
            // The sliders show the mixer as it is; a new Line value goes to
            // the playback master at once.
            runGuarded([&] { microphone_->showRegulators(); });
            // Taken before the main window is centred: at a first start the
            // tool window goes beside its design-time place.
            const QPoint toolAt = pos() + QPoint(deltaLeft_, deltaTop_);
            QTimer::singleShot(0, this, [this, toolAt] { showVolFormAt(toolAt); });
        }
        if (!decision.applyGeometry && screen() != nullptr) {
            QRect centred = frameGeometry();
            centred.moveCenter(screen()->availableGeometry().center());
            move(centred.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}

void TPelkoranForm::showVolumeRegulators(bool show) {
    DiagnosticLog& log = services_.log;
    log.logBoolean("VolForm.Visible #1", volForm_->isVisible());
    log.logBoolean("ShowVR.Checked before", !show);
    log.logBoolean("ShowVR.Checked after", show);
    if (!show) {
        log.logBoolean("VolForm.Visible #4", volForm_->isVisible());
        if (volForm_->isVisible()) {
            volForm_->close();
        }
        log.logBoolean("VolForm.Visible #5", volForm_->isVisible());
        return;
    }
    log.logInteger("Left", x());
    log.logInteger("DeltaLeft", deltaLeft_);
    log.logInteger("Top", y());
    log.logInteger("DeltaTop", deltaTop_);
    log.logBoolean("VolForm.Visible #2", volForm_->isVisible());
    showVolFormAt(pos() + QPoint(deltaLeft_, deltaTop_));
    log.logBoolean("VolForm.Visible #3", volForm_->isVisible());
}

void TPelkoranForm::showVolFormAt(QPoint at) {
    volFormPlacedAt_ = at;
    volForm_->move(at);
    QtPlacement::restore(services_.profiles, placementFile_, kVolSection, *volForm_, false);
    volPlacement_.onRestored();
    volForm_->show();
    measureVolFormOffsets();
}

void TPelkoranForm::measureVolFormOffsets() {
    // From the place it is shown at, stored placement applied, the tool
    // window keeps its offset from the main window.
    deltaLeft_ = volForm_->x() - x();
    deltaTop_ = volForm_->y() - y();
    services_.log.logInteger("VolForm.Left", volForm_->x());
    services_.log.logInteger("PelkoranForm.DeltaLeft", deltaLeft_);
    services_.log.logInteger("VolForm.Top", volForm_->y());
    services_.log.logInteger("PelkoranForm.DeltaTop", deltaTop_);
}

void TPelkoranForm::connectVolForm() {
    connect(volForm_.get(), &TVolForm::mikeVolumeChanged, this,
            [this](int value) { runGuarded([&] { microphone_->setMikeVolume(value); }); });
    connect(volForm_.get(), &TVolForm::lineVolumeChanged, this,
            [this](int value) { runGuarded([&] { microphone_->setLineVolume(value); }); });
    connect(volForm_.get(), &TVolForm::moved, this, &TPelkoranForm::VolFormMoving);
}

void TPelkoranForm::VolFormMoving() {
    // Only the operator's drag changes the offset; the tool window's notice
    // of being put beside the main window does not.
    if (!volForm_->isVisible() || volForm_->pos() == volFormPlacedAt_) {
        return;
    }
    deltaLeft_ = volForm_->x() - x();
    deltaTop_ = volForm_->y() - y();
}

void TPelkoranForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (!volForm_) {
        return;  // still being built
    }
    // The tool window follows, shown or not, at the offset it keeps.
    volFormPlacedAt_ = pos() + QPoint(deltaLeft_, deltaTop_);
    volForm_->move(volFormPlacedAt_);
}

// ------------------------------------------------------ microphone mode

void TPelkoranForm::sbMikeClick(bool down) {
    // A mixer fault on the way in leaves the transmitter released; the
    // button shows what the microphone mode took on.
    mikeMuteRestored_ = false;
    runGuarded([&] { microphone_->setMikeButton(down); });
    sbMike_->setChecked(microphone_->mikeDown());
}

void TPelkoranForm::restoreMikeMute() {
    if (mikeMuteRestored_ || !microphone_) {
        return;
    }
    mikeMuteRestored_ = true;
    microphone_->restoreMikeMute();
}

void TPelkoranForm::showInformation(const std::string& message) {
    const QString text = QString::fromStdString(message);
    if (services_.showInformation) {
        services_.showInformation(text);
        return;
    }
    QMessageBox::information(this, "Information", text);
}

void TPelkoranForm::setMikeEnabled(bool enabled) {
    sbMike_->setEnabled(enabled);
}

void TPelkoranForm::setCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    refreshStatusLine();
}

void TPelkoranForm::mikeVolumeShown(std::int32_t value) {
    if (volForm_) {
        volForm_->setMikeVolume(value);
    }
}

void TPelkoranForm::lineVolumeShown(std::int32_t value) {
    if (volForm_) {
        volForm_->setLineVolume(value);
    }
}

void TPelkoranForm::keepVolFormTransient() {
    // On X11 a change of the stay-on-top flag gives the main window a new
    // native window (behind the same Qt window), and the tool window would
    // stay tied to the old one, which no longer exists. The link reaches the
    // window system when a window is mapped, so an open tool window is mapped
    // again, where it was.
    QWindow* tool = volForm_->windowHandle();
    if (tool == nullptr) {
        return;  // never shown: it is linked when it first is
    }
    tool->setTransientParent(windowHandle());
    if (volForm_->isVisible()) {
        const QPoint at = volForm_->pos();
        volForm_->hide();
        volForm_->move(at);
        volForm_->show();
    }
}

void TPelkoranForm::saveVolFormPlacement(bool destroying) {
    if (destroying ? !volPlacement_.shouldSaveOnDestroy() : !volPlacement_.shouldSaveOnClose()) {
        return;
    }
    runGuarded([&] {
        QtPlacement::save(services_.profiles, placementFile_, kVolSection, *volForm_, destroying);
        volPlacement_.onSaved();
    });
}

// ------------------------------------------------------------ macro keys

void TPelkoranForm::AddSoundClick(int key) {
    runGuarded([&] {
        engine_.setCallText(eCall_->text().toStdString());
        engine_.setReportText(eRS_->text().toStdString());
        if (key >= 1 && key <= 12) {
            engine_.AddToQueue(macros_[static_cast<std::size_t>(key - 1)]);
        }
        engine_.PlayStack();
    });
}

void TPelkoranForm::ChangeLines(int rows) {
    for (QAction* item : buttonLines_->actions()) {
        item->setChecked(item->text().toInt() == rows);
    }
    buttonRows_ = rows;
    // A refused write ends the handler: the buttons stay as they are.
    if (!runGuarded([&] {
            writeProfileInteger(services_.profiles, settingsFile_, "General", "ButtonRows", rows);
        })) {
        return;
    }
    FormResize();
}

void TPelkoranForm::FormResize() {
    panel1_->layOut(buttonRows_);
}

void TPelkoranForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TPelkoranForm::eventFilter(QObject* watched, QEvent* event) {
    // The window sees every key before the control that has the focus.
    // The tool window beside it holds only regulators: its keys count too.
    const bool ours =
        watched->isWidgetType() && (static_cast<QWidget*>(watched)->window() == this ||
                                    static_cast<QWidget*>(watched)->window() == volForm_.get());
    if (event->type() == QEvent::KeyPress && ours &&
        static_cast<QWidget*>(watched)->isActiveWindow()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(key->key(), key->modifiers())) {
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TPelkoranForm::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers record = Qt::ControlModifier | Qt::ShiftModifier;
    if ((modifiers & (record | Qt::AltModifier)) == record && key >= Qt::Key_F1 &&
        key <= Qt::Key_F12) {
        recordings_->recordMacroKey(key - Qt::Key_F1 + 1);
        return true;
    }
    // Esc ends a take and nothing more: the operator meant the recording.
    if (key == Qt::Key_Escape && recordings_->isRecording()) {
        recordings_->stopTake();
        return true;
    }
    if (modifiers & Qt::AltModifier) {
        // Alt+P, Alt+T and Alt+M click their buttons, as their captions say.
        QPushButton* target = key == Qt::Key_P   ? pauseButton_
                              : key == Qt::Key_T ? sbTX_
                              : key == Qt::Key_M ? sbMike_
                                                 : nullptr;
        if (target != nullptr && target->isEnabled()) {
            target->click();
            return true;
        }
        return false;
    }
    if (key == Qt::Key_Escape) {
        runGuarded([&] { engine_.EscapeKey(); });
        return true;
    }
    return false;
}

// ------------------------------------------------------- the macro editor

std::string TPelkoranForm::macro(int n) {
    return macros_[static_cast<std::size_t>(n - 1)];
}

void TPelkoranForm::setMacro(int n, const std::string& text) {
    macros_[static_cast<std::size_t>(n - 1)] = text;
}

std::string TPelkoranForm::buttonCaption(int n) {
    return panel1_->caption(n).toStdString();
}

void TPelkoranForm::setButtonCaption(int n, const std::string& caption) {
    panel1_->setCaption(n, QString::fromStdString(caption));
}

void TPelkoranForm::SaveMacros() {
    // One rewrite of the file for all 25 keys: the window does not stall on a
    // sync per key, and a refused write stores none of them.
    std::vector<ProfileEntry> entries{{"Paths", "SoundDir", engine_.soundDirectory()}};
    for (int key = 1; key <= 12; ++key) {
        entries.push_back({"Macroses", "Macro" + std::to_string(key), macro(key)});
    }
    for (int key = 1; key <= 12; ++key) {
        entries.push_back({"Buttons", "Caption" + std::to_string(key), buttonCaption(key)});
    }
    services_.profiles.writeStrings(settingsFile_, entries);
}

// ------------------------------------------------ other programs' requests

std::string TPelkoranForm::callField() {
    return eCall_->text().toStdString();
}

std::string TPelkoranForm::reportField() {
    return eRS_->text().toStdString();
}

void TPelkoranForm::setCallField(const std::string& text) {
    eCall_->setText(QString::fromStdString(text));
}

void TPelkoranForm::setReportField(const std::string& text) {
    eRS_->setText(QString::fromStdString(text));
}

void TPelkoranForm::setStartDir(const std::string& dir) {
    // The window's placement stays in the file it was read from.
    services_.startDir = dir;
    settingsFile_ = joinPath(dir, kSettingsFileName);
    services_.log.logString("StartDir", dir);
}

void TPelkoranForm::FindMicrophoneLines() {
    runGuarded([&] { microphone_->FindMicrophoneLines(); });
    volForm_->setRegulatorsEnabled(microphone_->mixerAvailable());
}

void TPelkoranForm::showWindows() {
    show();
    if (!volForm_->isVisible()) {
        showVolFormAt(pos() + QPoint(deltaLeft_, deltaTop_));
    }
}

void TPelkoranForm::hideWindows() {
    hide();
    // Hidden, not closed: the operator's choice to show it stays as it was.
    volForm_->hide();
}

WindowFrame::Bounds TPelkoranForm::mainBounds() const {
    const QRect outer = frameGeometry();
    return Bounds{outer.x(), outer.y(), outer.width(), outer.height()};
}

void TPelkoranForm::setMainBounds(const Bounds& bounds) {
    // The sizes count the window's frame, as the place does.
    const QSize frame = frameGeometry().size() - geometry().size();
    move(bounds.left, bounds.top);
    resize(std::max(bounds.width - frame.width(), 0), std::max(bounds.height - frame.height(), 0));
}

// ----------------------------------------------------------------- closing

void TPelkoranForm::closeEvent(QCloseEvent* event) {
    if (closing_ || closeSequence()) {
        closing_ = true;
        event->accept();
        return;
    }
    event->ignore();
}

bool TPelkoranForm::closeSequence() {
    const bool confirmed =
        closeUnasked_ ||
        (services_.confirmClose
             ? services_.confirmClose()
             : QMessageBox::question(this, "Confirm", "Are you sure to close the Pelkora?",
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok);
    if (!confirmed) {
        return false;
    }
    // The first refused write ends the writes of the whole close, those as
    // the windows go included: the operator is told once, and the program
    // still ends.
    closeWritesRefused_ = !runGuarded([&] {
        QtPlacement::save(services_.profiles, placementFile_, kMainSection, *this, false);
        placement_.onSaved();
    });
    engine_.CloseRes();
    engine_.emptyQueue();
    if (!closeWritesRefused_) {
        closeWritesRefused_ = !runGuarded([&] {
            services_.profiles.writeString(settingsFile_, "Paths", "SoundDir",
                                           engine_.soundDirectory());
            writeProfileBool(services_.profiles, settingsFile_, "Menus", "ShowVolumeRegulators",
                             showVolumeRegulators_->isChecked());
        });
    }
    // Microphone mode stays as it is, but the microphone's playback path is
    // left as it was found.
    runGuarded([&] { restoreMikeMute(); });
    // What was done above stays done, whatever the answer.
    return closeDespiteObjects();
}

bool TPelkoranForm::closeDespiteObjects() {
    if (closeUnasked_ || !objectsAlive_ || !objectsAlive_()) {
        return true;
    }
    if (askCloseWithObjects_) {
        return askCloseWithObjects_();
    }
    const auto text = [](std::string_view utf8) {
        return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    };
    return QMessageBox::question(
               this, text(ObjectCount::kCloseWarningTitle), text(ObjectCount::kCloseWarningText),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void TPelkoranForm::closeUnasked() {
    // Not through closeEvent alone: a close already waiting in a box makes
    // close() return at once, and that box would cancel it.
    if (!closing_) {
        closeUnasked_ = true;
        // Released now, with the broadcasts the clients wait for, not only as
        // the port closes with the window; never throws: when the orderly
        // release fails, the lines are dropped directly.
        engine_.shutdownAfterFault();
        closeSequence();
        closing_ = true;
    }
    close();
}

void TPelkoranForm::setCloseWarning(std::function<bool()> objectsAlive, std::function<bool()> ask) {
    objectsAlive_ = std::move(objectsAlive);
    askCloseWithObjects_ = std::move(ask);
}

void TPelkoranForm::Setkeyboardhook1Click() {
    // The check mark has already turned. A hook that cannot load is ignored:
    // the item keeps its mark and unchecking it later does nothing. Off an X
    // server no hook could report to the window, so none is loaded.
    if (keyboardHook_->isChecked()) {
        if (hookFilter_ && hookLibrary_.load()) {
            hookLibrary_.setHook(static_cast<unsigned long>(winId()));
        }
        return;
    }
    if (hookLibrary_.held()) {
        hookLibrary_.clearHook();
        hookLibrary_.unload();
    }
}

void TPelkoranForm::releaseEverything() {
    // A take still running when the keyer ends is dropped: the earlier
    // recording stays.
    if (recordings_ != nullptr) {
        recordings_->cancelTake();
    }
    // The hook stops before the window it reports to is gone.
    if (keyboardHook_->isChecked() && hookLibrary_.held()) {
        hookLibrary_.clearHook();
    }
    hookLibrary_.unload();
    // By now the program's end has hidden the tool window; the menu item
    // still says whether the operator left it open.
    if (volForm_ && showVolumeRegulators_->isChecked() && !closeWritesRefused_) {
        saveVolFormPlacement(true);
    }
    if (placement_.shouldSaveOnDestroy() && !closeWritesRefused_) {
        runGuarded([&] {
            QtPlacement::save(services_.profiles, placementFile_, kMainSection, *this, true);
        });
    }
    services_.log.CloseDebugLog();
    // A transmitter left keyed by a closing keyer is a fault on the air: drop
    // the lines before the port goes.
    if (engine_.txDown()) {
        ptt_.TxOnOff(false);
    }
    // An end that skipped the close (the last automation client gone) still
    // leaves the microphone's playback path as it was found.
    try {
        restoreMikeMute();
    } catch (...) {
        // Nobody is left to tell; the transmitter is already released.
    }
    ptt_.closePort();
}

// ---------------------------------------------------------------- observer

void TPelkoranForm::onDisplayTextChanged() {
    speechMemo_->setPlainText(QString::fromStdString(engine_.displayText()));
    refreshStatusLine();
}

void TPelkoranForm::onCaptionChanged(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
    refreshStatusLine();
}

void TPelkoranForm::onTxButtonChanged(bool down) {
    sbTX_->setChecked(down);
    sbTX_->setIcon(down ? LedGlyphs::lit() : LedGlyphs::dark());
    // Painted as soon as the loop is back, which is at once: the first sound
    // of a key press is not held for a synchronous repaint.
    sbTX_->update();
    refreshStatusLine();
}

void TPelkoranForm::onPauseButtonChanged(bool down) {
    pauseButton_->setChecked(down);
    refreshStatusLine();
}

void TPelkoranForm::onStopEnabledChanged(bool enabled) {
    stopButton_->setEnabled(enabled);
    refreshStatusLine();
}

void TPelkoranForm::onError(const std::string& message) {
    showErrorLater(QString::fromStdString(message));
}

void TPelkoranForm::readPttTiming() {
    std::vector<std::string> complaints;
    const PttTiming timing = PttTiming::read(services_.profiles, settingsFile_, complaints);
    for (const std::string& complaint : complaints) {
        services_.log.logString("PTT", complaint);
    }
    engine_.setPttTiming(timing);
}

void TPelkoranForm::applyPttTiming(std::int64_t leadMs, std::int64_t tailMs,
                                   std::int64_t timeoutSeconds) {
    engine_.setPttTiming(PttTiming{leadMs, tailMs, timeoutSeconds});
}

// Told without a modal box: the keyer goes on at once, and a box that waited
// for OK would hold the next macro back.
void TPelkoranForm::onTransmitTimeout(std::int64_t seconds) {
    auto* notice = new QMessageBox(
        QMessageBox::Warning, "Pelkora",
        QString("Transmitter released after %1 s (time-out)").arg(seconds), QMessageBox::Ok, this);
    notice->setObjectName("TimeoutNotice");
    notice->setModal(false);
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->show();
}

void TPelkoranForm::onSoundLost(const std::string& detail) {
    showErrorLater(QString::fromStdString("Sound server not available: " + detail));
}

void TPelkoranForm::onPlayFile(const std::string& path) {
    statusLine_.filePlayed(path);
    refreshStatusLine();
}

void TPelkoranForm::onSkipFile(const std::string& path, const std::string& reason) {
    statusLine_.fileSkipped(path, reason);
    refreshStatusLine();
}

void TPelkoranForm::onPause(std::int64_t) {
    refreshStatusLine();
}

void TPelkoranForm::refreshStatusLine() {
    if (statusLabel_ == nullptr) {
        return;  // the engine reported before the window was built
    }
    statusLine_.keyerChanged(engine_);
    if (recordings_ != nullptr) {
        recordings_->keyerChanged();
    }
    // Shown from the loop, once per burst of reports: laying out the label
    // (and looking at the sound directory) would otherwise come between a
    // key press and its first sound.
    if (!statusShowPosted_) {
        statusShowPosted_ = true;
        QTimer::singleShot(0, this, [this] {
            statusShowPosted_ = false;
            showStatusLine();
        });
    }
}

void TPelkoranForm::showStatusLine() {
    QString text = QString::fromStdString(statusLine_.text());
    const QString recording = recordings_ != nullptr ? recordings_->statusText() : QString();
    if (!recording.isEmpty()) {
        text = text.isEmpty() ? recording : recording + "\n" + text;
    }
    if (text != statusLabel_->text()) {
        statusLabel_->setText(text);
        statusLabel_->setVisible(!text.isEmpty());
    }
}

void TPelkoranForm::showErrorLater(const QString& message) {
    pendingErrors_.push_back(message);
    if (!errorsPosted_ && !errorBoxOpen_) {
        errorsPosted_ = true;
        QTimer::singleShot(0, this, &TPelkoranForm::showPendingErrors);
    }
}

void TPelkoranForm::showPendingErrors() {
    errorsPosted_ = false;
    // One box at a time, in the order they were reported: errors that come
    // while a box is open wait for it to close instead of piling up on it.
    errorBoxOpen_ = true;
    struct BoxClosed {
        bool& open;
        ~BoxClosed() { open = false; }
    } closed{errorBoxOpen_};
    while (!pendingErrors_.empty()) {
        const QString message = pendingErrors_.front();
        pendingErrors_.pop_front();
        showError(message);
    }
}

void TPelkoranForm::reportFault(const std::string& what) {
    engine_.shutdownAfterFault();
    leaveMicrophoneAfterFault();
    services_.log.logString("Fault", what);
    showError(
        QString::fromStdString("Internal error: " + what + ". The transmitter was released."));
}

void TPelkoranForm::leaveMicrophoneAfterFault() {
    if (!microphone_ || !microphone_->mikeDown()) {
        return;
    }
    try {
        microphone_->setMikeButton(false);
    } catch (...) {
        // The mixer may be what failed; the transmitter is released anyway.
    }
    sbMike_->setChecked(false);
}

void TPelkoranForm::showError(const QString& message) {
    if (services_.showError) {
        services_.showError(message);
        return;
    }
    QMessageBox::critical(this, "Error", message);
}

bool TPelkoranForm::runGuarded(const std::function<void()>& action) {
    // An error ends the handler that raised it and is shown once; the
    // program goes on.
    try {
        action();
        return true;
    } catch (const std::bad_alloc&) {
        // Not an error the operator can act on: the keyer may be half-way
        // through an operation, so nothing stays keyed.
        reportFault("out of memory");
    } catch (const std::exception& error) {
        showError(QString::fromUtf8(error.what()));
    }
    return false;
}

}  // namespace pelkora
