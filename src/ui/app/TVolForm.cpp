#include "ui/app/TVolForm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

namespace pelkora {

TVolForm::TVolForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName("VolForm");
    setWindowTitle("Volumes");
    // Shown beside the main window at start-up, it must not take the keys
    // (Esc, the F-keys) away from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* layout = new QVBoxLayout(this);
    for (const char* name : {"Mike", "Line"}) {
        auto* label = new QLabel(name, this);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString(name) + "Volume");
        slider->setEnabled(false);
        slider->setToolTip("Needs the sound mixer");
        layout->addWidget(label);
        layout->addWidget(slider);
    }
    setFixedSize(160, 110);
}

void TVolForm::closeEvent(QCloseEvent* event) {
    emit closedByUser();
    QWidget::closeEvent(event);
}

}  // namespace pelkora
