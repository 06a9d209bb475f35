#pragma once

#include <vector>

#include "core/ptt/RigModelChoice.h"

namespace pelkora {

// Every radio model Hamlib can drive on a CAT port, sorted by manufacturer
// and then model name ("Icom IC-7300"), for the operator to pick from. The
// library's own pseudo-models (the dummy rig, rigctld, other network
// front-ends) are left out: they are chosen as port kinds of their own.
// Threading: any thread; loads every Hamlib backend on the first call, which
// takes a moment.
std::vector<RigModelChoice> hamlibRigModels();

}  // namespace pelkora
