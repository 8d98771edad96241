#include <algorithm>

#include "log/untrusted_text.h"
#include "serial/port_listing.h"

namespace PortListing {

std::vector<Port> Ports() {
    std::vector<std::string> names;
    HKEY key;
    // Every serial driver lists its ports here, by the name they are opened with.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameSize = 256;
            wchar_t data[256];
            DWORD dataSize = sizeof data - sizeof(wchar_t);
            DWORD type = 0;
            if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS) {
                break;
            }
            if (type != REG_SZ || dataSize < sizeof(wchar_t)) {
                continue;
            }
            const int length = static_cast<int>(wcsnlen(data, dataSize / sizeof(wchar_t)));
            std::string port(
                WideCharToMultiByte(CP_UTF8, 0, data, length, nullptr, 0, nullptr, nullptr), '\0');
            WideCharToMultiByte(CP_UTF8, 0, data, length, port.data(),
                                static_cast<int>(port.size()), nullptr, nullptr);
            names.push_back(port);
        }
        RegCloseKey(key);
    }
    // COM2 before COM10.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<Port> ports;
    for (const std::string& name : names) {
        ports.push_back({name, name, true, false});
    }
    return ports;
}

std::vector<std::string> Named(const std::vector<Port>& ports) {
    std::vector<std::string> names;
    for (const Port& port : ports) {
        names.push_back(UntrustedText(port.path));
    }
    return names;
}

std::string Resolve(const std::string& port) {
    return port;
}

std::string WhyLocked(const std::string& /*port*/, const std::string& /*lockFolder*/) {
    return {};  // the exclusive open alone keeps a port held elsewhere
}

HKEY OpenForChanges() {
    // SERIALCOMM itself appears only with the machine's first port: its parent is watched.
    HKEY key = nullptr;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP", 0, KEY_NOTIFY, &key) ==
                   ERROR_SUCCESS
               ? key
               : nullptr;
}

bool NotifyNextChange(HKEY key, HANDLE event) {
    return RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                   event, TRUE) == ERROR_SUCCESS;
}

}  // namespace PortListing
