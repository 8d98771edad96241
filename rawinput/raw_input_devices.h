#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "hid/hid_device.h"

// The keyboards, mice and HID collections Raw Input knows, as the choice of devices sees them.
// Every GetRawInputDeviceList, GetRawInputDeviceInfo and HidD_ call is in
// raw_input_devices.cpp.
struct RawInputDevice {
    HANDLE handle;
    HidDevice device;
};

// Every one there is now.
std::vector<RawInputDevice> ListRawInputDevices();
// One of them, as it arrives; none when it went already.
std::optional<HidDevice> DescribeRawInputDevice(HANDLE handle);
// A HID collection's preparsed data, for the HID parser; empty when it cannot be read.
std::vector<std::uint8_t> RawInputPreparsedData(HANDLE handle);
