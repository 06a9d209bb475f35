#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "core/keyer/KeyerEngine.h"
#include "core/keyer/StatusLine.h"
#include "core/meter/TMeterData.h"
#include "core/mixer/MicrophoneHost.h"
#include "core/mixer/MicrophoneMode.h"
#include "core/mixer/TAudioMixer.h"
#include "core/ptt/PttMenu.h"
#include "core/ptt/PttPort.h"
#include "core/remote/HookKeyHandler.h"
#include "core/remote/RemoteHost.h"
#include "core/remote/WindowFrame.h"
#include "core/settings/KeyerSettings.h"
#include "core/settings/PlacementTracker.h"
#include "core/settings/WindowPlacement.h"
#include "platform/posix/HookLibrary.h"
#include "ui/app/DesktopServices.h"
#include "ui/dialogs/MacroEditorHost.h"

namespace pelkora {

class MacroButtonBar;
class PttMenuView;
class TVolForm;
class TEditMacrosForm;
class TAboutForm;
class TfrmSoundDirectory;
class HookMessageFilter;
class TLedLadder;
class RecordingDesk;

// The keyer's main window: the TX, Pause and Mike buttons, the macro button
// bar, the call and report boxes, Clear and Stop, and the display of what is
// still to be sent. It shows the engine's state and hands the operator's
// actions to it; the keyer's behaviour lives in the engine.
// Other programs reach it as a RemoteHost and a WindowFrame.
// Threading: GUI thread only.
class TPelkoranForm : public QMainWindow,
                      public RemoteHost,
                      public WindowFrame,
                      private KeyerObserver,
                      private MacroEditorHost,
                      private MicrophoneHost {
    Q_OBJECT
  public:
    explicit TPelkoranForm(const DesktopServices& services, QWidget* parent = nullptr);
    ~TPelkoranForm() override;

    KeyerEngine& engine() { return engine_; }
    TAudioMixer& Mixer() { return *mixer_; }
    MicrophoneMode& microphone() { return *microphone_; }
    // A fault (an exception) reached the event loop: release everything and
    // tell the operator; the window goes on.
    void reportFault(const std::string& what);
    const std::string& settingsFile() const { return settingsFile_; }
    // New [PTT] timings (lead and tail in ms, time-out in s, 0 = off), as a
    // settings dialog applies them after OK; out-of-range values are clamped.
    void applyPttTiming(std::int64_t leadMs, std::int64_t tailMs, std::int64_t timeoutSeconds);
    // Closing while clients still hold automation objects asks the operator
    // once more, after the close confirmation and the closing writes.
    // objectsAlive says whether any are held; ask puts the question (empty:
    // the standard box) and is true to close all the same.
    void setCloseWarning(std::function<bool()> objectsAlive, std::function<bool()> ask = {});
    // The end a termination signal asks for: the closing work of File > Exit
    // without its questions, done at once even while a box of an earlier
    // close is still open, then the window closed.
    void closeUnasked();

    // Handlers under the names the operator's actions run.
    void AddSoundClick(int key);
    void ChangeLines(int rows);
    void FormResize();
    bool FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    // The level bar follows the first meter of the sound mixers.
    void IndicatorTimerTimer();
    void MeterDataLineChange() { IndicatorTimerTimer(); }

    // MacroEditorHost: the live values the macro editor works on.
    std::string macro(int n) override;
    void setMacro(int n, const std::string& text) override;
    std::string buttonCaption(int n) override;
    void setButtonCaption(int n, const std::string& caption) override;
    void SaveMacros() override;

    // RemoteHost (macro() above serves both)
    std::string callField() override;
    std::string reportField() override;
    void setCallField(const std::string& text) override;
    void setReportField(const std::string& text) override;
    void setStartDir(const std::string& dir) override;
    void FindMicrophoneLines() override;

    // WindowFrame
    void showWindows() override;
    void hideWindows() override;
    Bounds mainBounds() const override;
    void setMainBounds(const Bounds& bounds) override;

    const std::string& soundDir() const { return engine_.soundDirectory(); }
    int buttonRows() const { return buttonRows_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    // MicrophoneHost
    void showInformation(const std::string& message) override;
    void setMikeEnabled(bool enabled) override;
    void setCaption(const std::string& caption) override;
    void mikeVolumeShown(std::int32_t value) override;
    void lineVolumeShown(std::int32_t value) override;

    // KeyerObserver
    void onDisplayTextChanged() override;
    void onCaptionChanged(const std::string& caption) override;
    void onTxButtonChanged(bool down) override;
    void onPauseButtonChanged(bool down) override;
    void onStopEnabledChanged(bool enabled) override;
    void onError(const std::string& message) override;
    void onSoundLost(const std::string& detail) override;
    void onTransmitTimeout(std::int64_t seconds) override;
    void readPttTiming();
    void onPlayFile(const std::string& path) override;
    void onSkipFile(const std::string& path, const std::string& reason) override;
    void onPause(std::int64_t ms) override;

    // Errors the engine reports open their box from the loop, once the engine
    // call that reported them has returned: a modal box runs a loop of its
    // own, in which timers and the operator would reach the engine mid-call.
    void showErrorLater(const QString& message);
    void showPendingErrors();
    void refreshStatusLine();
    void showStatusLine();

    void FormCreate();
    void buildTopBar(QWidget* parent);
    void buildCallBar(QWidget* parent);
    void buildMenus();
    void buildFKeyMenu();
    void applySettingsToWidgets();
    void startMeter();
    void fitOutIndicatorToMeter();
    void showVolumeRegulators(bool show);
    void sbMikeClick(bool down);
    void buildMixer();
    void connectVolForm();
    void VolFormMoving();
    void measureVolFormOffsets();
    void restoreMikeMute();
    void leaveMicrophoneAfterFault();
    void Setkeyboardhook1Click();
    void showVolFormAt(QPoint at);
    void keepVolFormTransient();
    void saveVolFormPlacement(bool destroying);
    bool closeSequence();
    bool closeDespiteObjects();
    void releaseEverything();
    void showError(const QString& message);
    // False when the action raised an error (shown to the operator).
    bool runGuarded(const std::function<void()>& action);
    void buildRecordingDesk();
    // Why nothing may be recorded or played now; empty while the keyer is idle.
    std::string recordingBusyReason() const;

    DesktopServices services_;
    std::string settingsFile_;
    std::string placementFile_;
    PttPort ptt_;
    PttMenu pttMenu_;
    KeyerEngine engine_;
    HookKeyHandler hookKey_;
    KeyerSettings settings_;
    std::array<std::string, 12> macros_;
    int buttonRows_ = 1;
    int deltaLeft_ = 0;
    int deltaTop_ = 0;
    PlacementTracker placement_;
    PlacementTracker volPlacement_;
    bool closing_ = false;
    bool closeUnasked_ = false;
    bool closeWritesRefused_ = false;
    std::function<bool()> objectsAlive_;
    std::function<bool()> askCloseWithObjects_;

    QPushButton* sbTX_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* sbMike_ = nullptr;
    TLedLadder* outIndicator_ = nullptr;
    QTimer* indicatorTimer_ = nullptr;
    std::unique_ptr<TMeterData> meterData_;
    MacroButtonBar* panel1_ = nullptr;
    QLineEdit* eCall_ = nullptr;
    QLineEdit* eRS_ = nullptr;
    QPushButton* clearListButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPlainTextEdit* speechMemo_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    StatusLine statusLine_;
    std::deque<QString> pendingErrors_;
    bool errorsPosted_ = false;
    bool statusShowPosted_ = false;
    bool errorBoxOpen_ = false;
    PttMenuView* pttMenuView_ = nullptr;
    QMenu* buttonLines_ = nullptr;
    QAction* alwaysOnTop_ = nullptr;
    QAction* showVolumeRegulators_ = nullptr;
    QAction* keyboardHook_ = nullptr;
    // Held from the hook's arming to its disarming or the window's end.
    HookLibrary hookLibrary_;
    std::unique_ptr<HookMessageFilter> hookFilter_;

    // The sound mixers as the microphone mode and the regulators see them;
    // a system without mixers gets one with no device.
    std::unique_ptr<MixerLayer> absentMixer_;
    std::unique_ptr<TAudioMixer> mixer_;
    std::unique_ptr<MicrophoneMode> microphone_;
    // The end puts the microphone's playback mute back once, whichever way
    // the program ends.
    bool mikeMuteRestored_ = false;
    // Where the tool window was last put to follow the main window: its own
    // notice of that move is not the operator's drag.
    QPoint volFormPlacedAt_;

    std::unique_ptr<TVolForm> volForm_;
    TEditMacrosForm* editMacrosForm_ = nullptr;
    TAboutForm* aboutForm_ = nullptr;
    TfrmSoundDirectory* soundDirectoryForm_ = nullptr;
    RecordingDesk* recordings_ = nullptr;
};

}  // namespace pelkora
