#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "hid/media_keys.h"

// A HID top-level collection as the system lists it (on Windows, one Raw Input device): one
// physical device often has several, a keyboard beside a consumer control.
struct HidDevice {
    std::string path;     // the device interface's path (\\?\HID#VID_045E&PID_006D&COL01#...)
    std::string product;  // its product string; empty when it gives none
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    HidUsage collection{};  // what the collection is: a keyboard, a consumer control...
};

// The collection whose keys the system turns into keystrokes.
inline constexpr HidUsage KeyboardCollection{HidPage::GenericDesktop, 0x06};
// The collections a remote's other keys come in: consumer control, the MCE remotes' own
// buttons, and system control (power, sleep).
inline constexpr std::array RemoteCollections{HidUsage{HidPage::Consumer, 0x01},
                                              HidUsage{HidPage::MceRemote, 0x88},
                                              HidUsage{HidPage::GenericDesktop, 0x80}};
