#include "hid/hid_device_roster.h"

#include <algorithm>
#include <set>

#include "log/untrusted_text.h"

namespace {

// At most this many devices are named when the chosen one is not there.
constexpr std::size_t NamedAtMost = 8;

// A device for the user: its product and ids, else its path.
std::string Named(const HidDevice& device) {
    return device.product.empty()
               ? UntrustedText(device.path)
               : UntrustedText(device.product) + " (" +
                     HidDeviceChoice::IdsText(device.vendorId, device.productId) + ")";
}

// A device as --input takes it: by its name, else its ids, else its path.
std::string Choosable(const HidDevice& device) {
    if (!device.product.empty()) {
        return "name=" + UntrustedText(device.product);
    }
    return device.vendorId != 0 ? HidDeviceChoice::IdsText(device.vendorId, device.productId)
                                : UntrustedText(device.path);
}

}  // namespace

bool HidDeviceRoster::ReportsKeys(const HidDevice& device) {
    return std::find(RemoteCollections.begin(), RemoteCollections.end(), device.collection) !=
           RemoteCollections.end();
}

HidDeviceRoster::Change HidDeviceRoster::Arrived(std::uintptr_t id, const HidDevice& device,
                                                 bool readable) {
    Change change;
    change.chosen = choice_.Chooses(device);
    change.keyboard = device.collection == KeyboardCollection;
    devices_[id] = {device, change.chosen};
    if (!change.chosen) {
        return change;
    }
    change.said.push_back("reading " + Named(device));
    if (ReportsKeys(device) && !readable) {
        change.warnings.push_back(Named(device) +
                                  " gives no keys: Windows gave no HID description of its reports");
    }
    change.condition =
        SourceCondition{SourceCondition::Kind::Back, "reading " + Named(device) + " again"};
    return change;
}

HidDeviceRoster::Change HidDeviceRoster::Departed(std::uintptr_t id) {
    Change change;
    const auto found = devices_.find(id);
    if (found == devices_.end()) {
        return change;
    }
    change.chosen = found->second.chosen;
    const HidDevice device = found->second.device;
    change.keyboard = device.collection == KeyboardCollection;
    devices_.erase(found);
    if (!change.chosen) {
        return change;
    }
    change.warnings.push_back("stopped reading " + Named(device) + ": it was unplugged");
    if (!AnyChosen() && !choice_.EveryKeyboard()) {
        change.condition = SourceCondition{
            SourceCondition::Kind::Lost,
            "the HID device went away (it was unplugged); waiting for it to come back"};
    }
    return change;
}

std::optional<SourceCondition> HidDeviceRoster::Missing() const {
    if (choice_.EveryKeyboard() || AnyChosen()) {
        return std::nullopt;
    }
    std::set<std::string> here;
    bool otherCase = false;
    for (const auto& [id, known] : devices_) {
        if (known.device.collection == KeyboardCollection || ReportsKeys(known.device)) {
            here.insert(Choosable(known.device));
            otherCase = otherCase || choice_.NamesInOtherCase(known.device);
        }
    }
    std::string named;
    std::size_t count = 0;
    for (const std::string& name : here) {
        if (++count > NamedAtMost) {
            named += ", …";
            break;
        }
        named += (named.empty() ? "" : ", ") + name;
    }
    std::string reason = "no HID device " + choice_.Wanted() + " (waiting for it to be plugged in)";
    reason += here.empty() ? "; no keyboard or HID remote is here now" : "; here now: " + named;
    if (otherCase) {
        reason += " (a name is matched exactly, case and all)";
    }
    return SourceCondition{SourceCondition::Kind::Absent, reason};
}

bool HidDeviceRoster::Chosen(std::uintptr_t id) const {
    const auto found = devices_.find(id);
    return found != devices_.end() && found->second.chosen;
}

bool HidDeviceRoster::EveryKeyboardChosen() const {
    bool any = false;
    for (const auto& [id, known] : devices_) {
        if (known.device.collection == KeyboardCollection) {
            if (!known.chosen) {
                return false;
            }
            any = true;
        }
    }
    return any;
}

bool HidDeviceRoster::AnyChosen() const {
    return std::any_of(devices_.begin(), devices_.end(),
                       [](const auto& entry) { return entry.second.chosen; });
}
