#pragma once

#include <QWidget>
#include <cstdint>

class QSlider;

namespace pelkora {

// The "Volumes" tool window beside the main window: the Mike and Line
// regulators, vertical sliders from 0 (bottom) to 65535 (top) holding mixer
// volume values as they are. The operator moves them in steps of 2; the
// program may set any value in range. Each change is announced once, the
// operator's and the program's alike, for the window to act on the mixer.
// Threading: GUI thread only.
class TVolForm : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kVolumeMax = 65535;
    static constexpr int kVolumeStep = 2;

    explicit TVolForm(QWidget* parent = nullptr);

    int mikeVolume() const;
    int lineVolume() const;
    // Clamped to 0..65535; the change is announced only when the slider
    // moves, before this returns.
    void setMikeVolume(std::int64_t value);
    void setLineVolume(std::int64_t value);
    // Greyed, with a hint why, while nothing acts on the regulators.
    void setRegulatorsEnabled(bool enabled);

  signals:
    void closedByUser();
    void mikeVolumeChanged(int value);
    void lineVolumeChanged(int value);
    // The window was moved (by the operator, or by the program).
    void moved();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    struct Regulator {
        QSlider* slider = nullptr;
        int announced = 0;  // the value last announced: the slider's own between changes
    };

    Regulator makeRegulator(const char* name, const QRect& geometry);
    void addLabel(const char* text, QPoint at);
    void setFromProgram(Regulator& regulator, std::int64_t value);
    // valueChanged of either slider; false when nothing is to be announced.
    bool settle(Regulator& regulator, int value);

    Regulator mike_;
    Regulator line_;
    bool settingFromProgram_ = false;
};

}  // namespace pelkora
