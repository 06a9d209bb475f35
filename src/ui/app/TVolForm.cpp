#include "ui/app/TVolForm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMoveEvent>
#include <QSlider>
#include <algorithm>

namespace pelkora {

TVolForm::TVolForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName("VolForm");
    setWindowTitle("Volumes");
    // Shown beside the main window at start-up, it must not take the keys
    // (Esc, the F-keys) away from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(115, 176);
    mike_ = makeRegulator("MikeVolume", QRect(17, 19, 29, 126));
    line_ = makeRegulator("LineVolume", QRect(60, 20, 29, 125));
    addLabel("Mike", QPoint(15, 152));
    addLabel("Line", QPoint(64, 152));
    connect(mike_.slider, &QSlider::valueChanged, this, [this](int value) {
        if (settle(mike_, value)) {
            emit mikeVolumeChanged(value);
        }
    });
    connect(line_.slider, &QSlider::valueChanged, this, [this](int value) {
        if (settle(line_, value)) {
            emit lineVolumeChanged(value);
        }
    });
}

TVolForm::Regulator TVolForm::makeRegulator(const char* name, const QRect& geometry) {
    auto* slider = new QSlider(Qt::Vertical, this);
    slider->setObjectName(name);
    slider->setRange(0, kVolumeMax);
    slider->setSingleStep(kVolumeStep);
    slider->setPageStep(kVolumeStep);
    slider->setGeometry(geometry);
    return Regulator{slider, slider->value()};
}

void TVolForm::addLabel(const char* text, QPoint at) {
    auto* label = new QLabel(text, this);
    label->adjustSize();
    label->move(at);
}

int TVolForm::mikeVolume() const {
    return mike_.slider->value();
}

int TVolForm::lineVolume() const {
    return line_.slider->value();
}

void TVolForm::setMikeVolume(std::int64_t value) {
    setFromProgram(mike_, value);
}

void TVolForm::setLineVolume(std::int64_t value) {
    setFromProgram(line_, value);
}

void TVolForm::setFromProgram(Regulator& regulator, std::int64_t value) {
    // Mixer values are not bound to the operator's steps: an odd volume read
    // from the mixer is shown as it is.
    const int clamped = static_cast<int>(std::clamp<std::int64_t>(value, 0, kVolumeMax));
    settingFromProgram_ = true;
    regulator.slider->setValue(clamped);
    settingFromProgram_ = false;
}

bool TVolForm::settle(Regulator& regulator, int value) {
    if (!settingFromProgram_ && value % kVolumeStep != 0) {
        // A drag lands anywhere: it takes the step below, and that move is
        // the one announced.
        regulator.slider->setValue(value - value % kVolumeStep);
        return false;
    }
    if (value == regulator.announced) {
        return false;  // snapped back onto the value it had
    }
    regulator.announced = value;
    return true;
}

void TVolForm::setRegulatorsEnabled(bool enabled) {
    for (QSlider* slider : {mike_.slider, line_.slider}) {
        slider->setEnabled(enabled);
        slider->setToolTip(enabled ? QString() : QString("Needs the sound mixer"));
    }
}

void TVolForm::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    emit moved();
}

void TVolForm::closeEvent(QCloseEvent* event) {
    emit closedByUser();
    QWidget::closeEvent(event);
}

}  // namespace pelkora
