#pragma once

#include <string>

namespace pelkora {

// One radio model the operator can pick for a CAT port: Hamlib's model
// number and how the list shows it ("Yaesu FT-991").
struct RigModelChoice {
    int model = 0;
    std::string label;
};

}  // namespace pelkora
