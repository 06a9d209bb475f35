#include "core/ptt/PttMenu.h"

#include <string>
#include <utility>

namespace pelkora {

const std::array<PttMenu::Item, 12>& PttMenu::items() {
    static const std::array<Item, 12> table{{
        {"PTT0", "NONE", true, 0},
        {"PTT1", "COM1", true, 1},
        {"PTT2", "COM2", true, 2},
        {"PTT3", "COM3", true, 3},
        {"PTT4", "COM4", true, 4},
        {"COM51", "COM5", true, 5},
        {"COM61", "COM6", true, 6},
        {"COM71", "COM7", true, 7},
        {"COM81", "COM8", true, 8},
        {"PTTS1", "Use RTS for PTT", false, 1},
        {"PTTS2", "Use DTR for PTT", false, 2},
        {"PTTS3", "Use RTS and DTR for PTT", false, 3},
    }};
    return table;
}

PttMenu::PttMenu(PttPort& port, ProfileStore& profiles, std::function<std::string()> settingsFile,
                 std::function<void(const std::string&)> showError)
    : port_(port),
      profiles_(profiles),
      settingsFile_(std::move(settingsFile)),
      showError_(std::move(showError)),
      checkedPort_(portItem(0)),
      checkedLine_(lineItem(1)) {}

const PttMenu::Item* PttMenu::find(const std::string& name) {
    for (const Item& item : items()) {
        if (name == item.name) {
            return &item;
        }
    }
    return nullptr;
}

const PttMenu::Item* PttMenu::portItem(int port) {
    for (const Item& item : items()) {
        if (item.isPort && item.value == port) {
            return &item;
        }
    }
    return nullptr;
}

const PttMenu::Item* PttMenu::lineItem(int line) {
    for (const Item& item : items()) {
        if (!item.isPort && item.value == line) {
            return &item;
        }
    }
    return nullptr;
}

void PttMenu::initialise(int storedPort, int storedLine) {
    checkedPort_ = portItem(storedPort) ? portItem(storedPort) : portItem(0);
    checkedLine_ = lineItem(storedLine) ? lineItem(storedLine) : lineItem(1);
    port_.setPortNumber(checkedPort_->value);
    port_.setLineChoice(checkedLine_->value);
    if (port_.portNumber() > 0) {
        port_.OpenPort();
    }
    SetMenuItemName();
}

void PttMenu::PTTClick(const std::string& itemName) {
    const Item* item = find(itemName);
    if (item == nullptr) {
        return;
    }
    if (item->isPort) {
        checkedPort_ = item;
        port_.setPortNumber(item->value);
    } else {
        checkedLine_ = item;
        port_.setLineChoice(item->value);
    }
    try {
        const std::string file = settingsFile_();
        profiles_.writeString(file, "Config", "PTTPort", std::to_string(port_.portNumber()));
        profiles_.writeString(file, "Config", "PTTLine", std::to_string(port_.lineChoice()));
    } catch (const ProfileWriteError& error) {
        // A refused write ends this handler, as any error would: the port is
        // not reopened on a choice that could not be stored.
        showError_(error.what());
        return;
    }
    if (port_.portNumber() > 0) {
        port_.OpenPort();
    } else {
        port_.closePort();
    }
    SetMenuItemName();
}

void PttMenu::SetMenuItemName() {
    if (port_.portNumber() == 0) {
        caption_ = "NONE";
        return;
    }
    caption_ = std::string("PTT on ") + checkedPort_->caption + "/" + checkedLine_->caption;
}

bool PttMenu::isChecked(const std::string& itemName) const {
    return itemName == checkedPort_->name || itemName == checkedLine_->name;
}

}  // namespace pelkora
