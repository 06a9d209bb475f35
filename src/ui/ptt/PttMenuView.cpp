#include "ui/ptt/PttMenuView.h"

#include <QActionGroup>

namespace pelkora {

PttMenuView::PttMenuView(const PttMenu& model, QWidget* parent)
    : QMenu("PTT interface", parent), model_(model) {
    setObjectName("PTTinterface1");
    auto* ports = new QActionGroup(this);
    auto* lines = new QActionGroup(this);
    for (const PttMenu::Item& item : PttMenu::items()) {
        if (!item.isPort && item.value == 1) {
            addSeparator();
        }
        QAction* action = addAction(item.caption);
        action->setObjectName(item.name);
        action->setCheckable(true);
        (item.isPort ? ports : lines)->addAction(action);
        const QString name = item.name;
        connect(action, &QAction::triggered, this, [this, name] { emit itemClicked(name); });
    }
    addSeparator();
    QAction* devices = addAction("Port devices\u2026");
    devices->setObjectName("PortDevicesItem");
    connect(devices, &QAction::triggered, this, &PttMenuView::portDevicesClicked);
    sync();
}

void PttMenuView::sync() {
    for (QAction* action : actions()) {
        if (action->isCheckable()) {
            action->setChecked(model_.isChecked(action->objectName().toStdString()));
        }
    }
    setTitle(QString::fromStdString(model_.caption()));
}

}  // namespace pelkora
