#include "win32_app/autostart.h"

#include <windows.h>

#include <vector>

#include "log/wide_text.h"

namespace {

std::string SystemMessage(LSTATUS error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? Narrow(std::wstring_view(text, length)) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

// This program's path, quoted: a path with spaces is one command.
std::wstring QuotedProgramPath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return L"\"" + std::wstring(path.data(), length) + L"\"";
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
            const std::wstring command = QuotedProgramPath();
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
        error = SystemMessage(status);
        return false;
    }
    return true;
}
