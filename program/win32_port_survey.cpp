#include <windows.h>

#include <algorithm>

#include "program/port_candidates.h"

namespace PortCandidates {

std::vector<Surveyed> Survey() {
    std::vector<std::string> ports;
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
            ports.push_back(port);
        }
        RegCloseKey(key);
    }
    // COM2 before COM10.
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<Surveyed> surveyed;
    for (const std::string& port : ports) {
        surveyed.push_back({port, port, true});
    }
    return surveyed;
}

std::string Resolve(const std::string& port) {
    return port;
}

std::string WhyLocked(const std::string& /*port*/, const std::string& /*lockFolder*/) {
    return {};  // the exclusive open alone keeps a port held elsewhere
}

}  // namespace PortCandidates
