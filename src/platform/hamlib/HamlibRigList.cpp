#include "platform/hamlib/HamlibRigList.h"

#include <hamlib/rig.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <tuple>

#include "platform/hamlib/HamlibLibrary.h"

namespace pelkora {

namespace {

struct Listed {
    std::string maker;
    std::string name;
    int model = 0;
};

std::string folded(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Radios on a serial CAT port that Hamlib can key; receivers and
// network front-ends have no place in a PTT port's list.
bool keyableOnCatPort(const rig_caps& caps) {
    return RIG_BACKEND_NUM(caps.rig_model) != RIG_DUMMY && caps.port_type == RIG_PORT_SERIAL &&
           caps.set_ptt != nullptr;
}

int collect(const rig_caps* caps, rig_ptr_t data) {
    auto& listed = *static_cast<std::vector<Listed>*>(data);
    if (caps != nullptr && keyableOnCatPort(*caps)) {
        listed.push_back({caps->mfg_name != nullptr ? caps->mfg_name : "",
                          caps->model_name != nullptr ? caps->model_name : "",
                          static_cast<int>(caps->rig_model)});
    }
    return 1;  // go on with the next model
}

}  // namespace

std::vector<RigModelChoice> hamlibRigModels() {
    std::vector<Listed> listed;
    {
        auto lock = HamlibLibrary::lock();
        if (!HamlibLibrary::loadFailure().empty()) {
            return {};
        }
        HamlibLibrary::api().loadAllBackends();
        HamlibLibrary::api().listForeach(collect, &listed);
    }
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        return std::tuple(folded(a.maker), folded(a.name), a.model) <
               std::tuple(folded(b.maker), folded(b.name), b.model);
    });
    std::vector<RigModelChoice> choices;
    choices.reserve(listed.size());
    for (const Listed& rig : listed) {
        choices.push_back({rig.model, rig.maker + " " + rig.name});
    }
    return choices;
}

}  // namespace pelkora
