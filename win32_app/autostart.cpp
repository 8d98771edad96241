#include "win32_app/autostart.h"

#include <windows.h>

#include <vector>

#include "log/win32_error_text.h"

namespace {

// This program's path, quoted (a path with spaces is one command), started in the
// notification area: at log-on the remote is wanted, not the window.
std::wstring StartCommand() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return L"\"" + std::wstring(path.data(), length) + L"\" --minimized";
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

bool Autostart::IsOn() {
    return RegGetValueW(HKEY_CURRENT_USER, RunKey, ValueName, RRF_RT_REG_SZ, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

bool Autostart::Set(bool on, std::string& error) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        if (on) {
            const std::wstring command = StartCommand();
            status = RegSetValueExW(key, ValueName, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(command.c_str()),
                                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        } else {
            status = RegDeleteValueW(key, ValueName);
            if (status == ERROR_FILE_NOT_FOUND) {
                status = ERROR_SUCCESS;  // off already
            }
        }
        RegCloseKey(key);
    }
    if (status != ERROR_SUCCESS) {
        error = Win32ErrorText(static_cast<unsigned long>(status));
        return false;
    }
    return true;
}
