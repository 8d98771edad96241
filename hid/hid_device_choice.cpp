#include "hid/hid_device_choice.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "log/untrusted_text.h"

namespace {

constexpr std::string_view NamePrefix = "name=";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Four hex digits at text's start.
std::optional<std::uint16_t> Hex4(std::string_view text) {
    if (text.size() < 4) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text.substr(0, 4)) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> ParseIds(std::string_view text) {
    const auto vendor = Hex4(text);
    const auto product = text.size() == 9 && text[4] == ':' ? Hex4(text.substr(5)) : std::nullopt;
    if (!vendor || !product) {
        return std::nullopt;
    }
    return std::pair{*vendor, *product};
}

// A path as Windows compares it: case aside, either of the prefixes its paths are given with.
std::string Folded(std::string_view path) {
    std::string folded(path);
    if (folded.rfind("\\??\\", 0) == 0) {
        folded[1] = '\\';
    }
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return folded;
}

bool IsPath(std::string_view wanted) {
    return wanted.rfind("\\\\?\\", 0) == 0 || wanted.rfind("\\??\\", 0) == 0;
}

}  // namespace

bool HidDeviceChoice::EveryKeyboard() const {
    return std::find(wanted_.begin(), wanted_.end(), MediaKeys) != wanted_.end();
}

bool HidDeviceChoice::NamesDevices() const {
    return std::any_of(wanted_.begin(), wanted_.end(),
                       [](const std::string& wanted) { return wanted != MediaKeys; });
}

bool HidDeviceChoice::Chooses(const HidDevice& device) const {
    for (const std::string& wanted : wanted_) {
        if (std::string_view(wanted).starts_with(NamePrefix)) {
            if (!device.product.empty() && device.product == wanted.substr(NamePrefix.size())) {
                return true;
            }
        } else if (const auto ids = ParseIds(wanted)) {
            if (*ids == std::pair{device.vendorId, device.productId}) {
                return true;
            }
        } else if (IsPath(wanted) && Folded(wanted) == Folded(device.path)) {
            return true;
        }
    }
    return false;
}

bool HidDeviceChoice::NamesInOtherCase(const HidDevice& device) const {
    for (const std::string& wanted : wanted_) {
        if (!std::string_view(wanted).starts_with(NamePrefix)) {
            continue;
        }
        const std::string_view name = std::string_view(wanted).substr(NamePrefix.size());
        if (name != device.product && Folded(name) == Folded(device.product)) {
            return true;
        }
    }
    return false;
}

std::string HidDeviceChoice::Wanted() const {
    std::string text;
    for (const std::string& wanted : wanted_) {
        text += (text.empty() ? "" : ", ") + UntrustedText(wanted);
    }
    return text;
}

std::string HidDeviceChoice::WhyNot(const std::string& wanted) {
    if (wanted == MediaKeys || ParseIds(wanted) || IsPath(wanted) ||
        (std::string_view(wanted).starts_with(NamePrefix) && wanted.size() > NamePrefix.size())) {
        return {};
    }
    return "'" + UntrustedText(wanted) +
           "' names no HID device: give media-keys (every keyboard's media keys), "
           "name=PRODUCT, VID:PID (such as 045e:006d) or the device's path (\\\\?\\HID#...); "
           "quorvel --find-remote finds it";
}

std::string HidDeviceChoice::IdsText(std::uint16_t vendorId, std::uint16_t productId) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendorId, productId);
    return text;
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> HidDeviceChoice::IdsInPath(
    std::string_view path) {
    const std::string folded = Folded(path);
    const std::string_view text = folded;
    // A USB device's VID_045E, a Bluetooth one's VID&0002045E (the id's source, then the id).
    std::optional<std::uint16_t> vendor;
    if (const auto usb = text.find("vid_"); usb != std::string_view::npos) {
        vendor = Hex4(text.substr(usb + 4));
    } else if (const auto bluetooth = text.find("vid&");
               bluetooth != std::string_view::npos && Hex4(text.substr(bluetooth + 4))) {
        vendor = Hex4(text.substr(bluetooth + 8));
    }
    auto pid = text.find("pid_");
    if (pid == std::string_view::npos) {
        pid = text.find("pid&");
    }
    const auto product = pid == std::string_view::npos ? std::nullopt : Hex4(text.substr(pid + 4));
    if (!vendor || !product) {
        return std::nullopt;
    }
    return std::pair{*vendor, *product};
}
