#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "ui/remote/AutomationEndpoint.h"

namespace pelkora {

// One automation object a client created on the bus: it answers the window
// calls of the keyer's interface at a path of its own, and lives until its
// client releases it or leaves the bus. It holds no state of the keyer: all
// objects act on the same windows.
// Threading: GUI thread only.
class AutomationObject : public AutomationEndpoint {
    Q_OBJECT
  public:
    AutomationObject(QString owner, CoPelkoran& automation, KeyerEngine& engine,
                     QObject* parent = nullptr);

    // The client's unique name on the bus; "" when made outside the bus.
    const QString& owner() const { return owner_; }

    // Told around a StartPlay through this object (true before, false
    // after), so that a keying can be traced to the client that made it.
    std::function<void(bool starting)> onKeying;

  public slots:
    // The TX toggle pressed, on behalf of this object's client.
    void StartPlay();

  private:
    QString owner_;
};

}  // namespace pelkora
