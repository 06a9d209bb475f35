#include "ui/remote/AutomationObject.h"

#include <utility>

#include "pelkoraobjectadaptor.h"

namespace pelkora {

AutomationObject::AutomationObject(QString owner, CoPelkoran& automation, KeyerEngine& engine,
                                   QObject* parent)
    : AutomationEndpoint(parent), owner_(std::move(owner)) {
    attach(&automation, &engine);
    new PelkoraObjectAdaptor(this);
}

void AutomationObject::StartPlay() {
    if (onKeying) {
        onKeying(true);
    }
    AutomationEndpoint::StartPlay();
    if (onKeying) {
        onKeying(false);
    }
}

}  // namespace pelkora
