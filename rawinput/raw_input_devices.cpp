#include "rawinput/raw_input_devices.h"

extern "C" {
#include <hidsdi.h>
}

#include "hid/hid_device_choice.h"
#include "text/wide_text.h"

namespace {

std::wstring DeviceName(HANDLE handle) {
    UINT size = 0;
    if (GetRawInputDeviceInfoW(handle, RIDI_DEVICENAME, nullptr, &size) != 0 || size == 0) {
        return {};
    }
    std::wstring name(size, L'\0');
    const UINT got = GetRawInputDeviceInfoW(handle, RIDI_DEVICENAME, name.data(), &size);
    if (got == static_cast<UINT>(-1)) {
        return {};
    }
    name.resize(wcsnlen(name.c_str(), name.size()));
    return name;
}

// The product string the device reports; opened with no access, which a keyboard the
// system holds allows too.
std::string ProductString(const std::wstring& path) {
    const HANDLE device = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return {};
    }
    // The most a USB string descriptor holds.
    wchar_t product[127] = {};
    const bool read = HidD_GetProductString(device, product, sizeof product - sizeof(wchar_t));
    CloseHandle(device);
    return read ? Narrow(product) : std::string();
}

}  // namespace

std::optional<HidDevice> DescribeRawInputDevice(HANDLE handle) {
    RID_DEVICE_INFO info{};
    info.cbSize = sizeof info;
    UINT size = sizeof info;
    if (GetRawInputDeviceInfoW(handle, RIDI_DEVICEINFO, &info, &size) == static_cast<UINT>(-1)) {
        return std::nullopt;
    }
    const std::wstring path = DeviceName(handle);
    if (path.empty()) {
        return std::nullopt;
    }
    HidDevice device{Narrow(path), ProductString(path)};
    if (info.dwType == RIM_TYPEHID) {
        device.vendorId = static_cast<std::uint16_t>(info.hid.dwVendorId);
        device.productId = static_cast<std::uint16_t>(info.hid.dwProductId);
        device.collection = {info.hid.usUsagePage, info.hid.usUsage};
    } else {
        // A keyboard's or mouse's ids are only in its path.
        if (const auto ids = HidDeviceChoice::IdsInPath(device.path)) {
            device.vendorId = ids->first;
            device.productId = ids->second;
        }
        device.collection = info.dwType == RIM_TYPEKEYBOARD
                                ? KeyboardCollection
                                : HidUsage{HidPage::GenericDesktop, 0x02};
    }
    return device;
}

std::vector<RawInputDevice> ListRawInputDevices() {
    UINT count = 0;
    std::vector<RAWINPUTDEVICELIST> list;
    // Again when a device arrived between the count and the list.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != 0) {
            return {};
        }
        list.resize(count);
        const UINT got = GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
        if (got != static_cast<UINT>(-1)) {
            list.resize(got);
            break;
        }
        list.clear();
    }
    std::vector<RawInputDevice> devices;
    for (const RAWINPUTDEVICELIST& entry : list) {
        if (auto device = DescribeRawInputDevice(entry.hDevice)) {
            devices.push_back({entry.hDevice, std::move(*device)});
        }
    }
    return devices;
}

std::vector<std::uint8_t> RawInputPreparsedData(HANDLE handle) {
    UINT size = 0;
    if (GetRawInputDeviceInfoW(handle, RIDI_PREPARSEDDATA, nullptr, &size) != 0 || size == 0) {
        return {};
    }
    std::vector<std::uint8_t> data(size);
    if (GetRawInputDeviceInfoW(handle, RIDI_PREPARSEDDATA, data.data(), &size) ==
        static_cast<UINT>(-1)) {
        return {};
    }
    return data;
}
