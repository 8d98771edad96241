#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hid/hid_device.h"

// Which HID devices the user named (--input on Windows), each one way: media-keys for the
// media and volume keys of every keyboard; name=TEXT for every collection of the devices
// whose product string is TEXT; VID:PID in hex (045e:006d) for every collection of those
// devices; or one collection by its interface path (\\?\HID#..., case aside, as Windows
// compares them). Plain, so that it is tested alone.
class HidDeviceChoice {
  public:
    static constexpr std::string_view MediaKeys = "media-keys";

    explicit HidDeviceChoice(std::vector<std::string> wanted) : wanted_(std::move(wanted)) {}

    // media-keys was named: every keyboard's media keys are wanted, injected ones too.
    bool EveryKeyboard() const;
    // A device by name, ids or path was named.
    bool NamesDevices() const;
    bool Chooses(const HidDevice& device) const;
    // A name= names device's product but for the case of its letters.
    bool NamesInOtherCase(const HidDevice& device) const;
    // The names, for the user: "name=Flirc, 045e:006d".
    std::string Wanted() const;

    // Why wanted can never name a HID device (a Linux path, a COM port), with what would;
    // empty when it may.
    static std::string WhyNot(const std::string& wanted);
    // "045e:006d".
    static std::string IdsText(std::uint16_t vendorId, std::uint16_t productId);
    // The vendor and product ids an interface path carries (VID_045E&PID_006D; a Bluetooth
    // device's VID&0002045E_PID&0800, the vendor after the source of its id), for the
    // collections whose ids the system does not give (keyboards').
    static std::optional<std::pair<std::uint16_t, std::uint16_t>> IdsInPath(std::string_view path);

  private:
    std::vector<std::string> wanted_;
};
