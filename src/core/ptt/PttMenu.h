#pragma once

#include <array>
#include <functional>
#include <string>

#include "core/ptt/PttPort.h"
#include "platform/ProfileStore.h"

namespace pelkora {

// The "PTT interface" submenu: nine port items and three line items, each a
// radio group, and the submenu's own caption that names the choice. A click
// stores both values in the settings file at once and reopens the port.
// Threading: loop thread only.
class PttMenu {
  public:
    struct Item {
        const char* name;     // the item's object name
        const char* caption;  // its text in the menu
        bool isPort;          // port item (else line item)
        int value;            // port 0..8 or line 1..3
    };
    static const std::array<Item, 12>& items();

    // settingsFile gives the current path of pelkora.ini at each write.
    PttMenu(PttPort& port, ProfileStore& profiles, std::function<std::string()> settingsFile,
            std::function<void(const std::string&)> showError);

    // Start-up: check the stored choice, open the port when one is chosen and
    // set the caption. Values outside the menu's range fall back to "NONE" and
    // RTS; nothing is written back.
    void initialise(int storedPort, int storedLine);

    // The click handler shared by every item; unknown names are ignored.
    void PTTClick(const std::string& itemName);
    void SetMenuItemName();

    const std::string& caption() const { return caption_; }
    bool isChecked(const std::string& itemName) const;
    const char* checkedPortItem() const { return checkedPort_->name; }
    const char* checkedLineItem() const { return checkedLine_->name; }

  private:
    static const Item* find(const std::string& name);
    static const Item* portItem(int port);
    static const Item* lineItem(int line);

    PttPort& port_;
    ProfileStore& profiles_;
    std::function<std::string()> settingsFile_;
    std::function<void(const std::string&)> showError_;
    const Item* checkedPort_;
    const Item* checkedLine_;
    std::string caption_ = "PTT interface";
};

}  // namespace pelkora
