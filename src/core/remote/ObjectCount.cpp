#include "core/remote/ObjectCount.h"

namespace pelkora {

bool ObjectCount::released() {
    if (count_ == 0) {
        return false;
    }
    --count_;
    return count_ == 0 && endsWithLastObject_;
}

}  // namespace pelkora
