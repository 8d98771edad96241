#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hid/hid_device.h"
#include "hid/hid_device_choice.h"
#include "source/key_source.h"

// The devices Raw Input knows, as the user's choice sees them: which are chosen, whether
// every keyboard there is was, and what to say as they come and go: a chosen device read, one
// whose reports cannot be read (so it gives no keys), the last chosen one gone (Lost), a
// chosen one come (Back, should the source have been away: its health decides), and at the
// start none there (Absent, naming the devices that are, as --input would take them, since a
// name is matched exactly). Devices are known by an id of the caller's (a Raw Input handle).
// Plain: the Raw Input source feeds it.
class HidDeviceRoster {
  public:
    struct Change {
        bool chosen = false;
        bool keyboard = false;  // a keyboard's collection
        // For the log, each once: what is read, and what is wrong.
        std::vector<std::string> said;
        std::vector<std::string> warnings;
        // For the source's health: Lost when no chosen device is left, Back when one came.
        std::optional<SourceCondition> condition;
    };

    explicit HidDeviceRoster(HidDeviceChoice choice) : choice_(std::move(choice)) {}

    const HidDeviceChoice& Choice() const { return choice_; }
    // A device described as it arrived or was listed; readable: its reports can be read
    // (a chosen collection of a remote's, whose HID description Windows gave).
    Change Arrived(std::uintptr_t id, const HidDevice& device, bool readable);
    Change Departed(std::uintptr_t id);
    // At the start: why nothing chosen is here, and what is; none when something is, or
    // every keyboard's media keys were wanted.
    std::optional<SourceCondition> Missing() const;

    bool Knows(std::uintptr_t id) const { return devices_.count(id) > 0; }
    bool Chosen(std::uintptr_t id) const;
    bool EveryKeyboardChosen() const;
    // A collection whose reports carry a remote's keys.
    static bool ReportsKeys(const HidDevice& device);

  private:
    struct Known {
        HidDevice device;
        bool chosen;
    };
    bool AnyChosen() const;

    HidDeviceChoice choice_;
    std::map<std::uintptr_t, Known> devices_;
};
