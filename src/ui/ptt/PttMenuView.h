#pragma once

#include <QMenu>
#include <functional>
#include <string>

#include "core/ptt/PttMenu.h"

namespace pelkora {

// The "PTT interface" submenu as the operator sees it: the items of the
// port/line model with their check marks, titled with the model's caption,
// and below them the item that opens the Port devices dialog.
class PttMenuView : public QMenu {
    Q_OBJECT
  public:
    PttMenuView(const PttMenu& model, QWidget* parent);

    // Shows the model's current check marks and caption.
    void sync();

  signals:
    void itemClicked(const QString& itemName);
    void portDevicesClicked();

  private:
    const PttMenu& model_;
};

}  // namespace pelkora
