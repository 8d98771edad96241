#include "win32_app/autostart.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "text/win32_error_text.h"

namespace {

std::wstring ProgramPath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            return std::wstring(path.data(), length);
        }
        path.resize(path.size() * 2);
    }
}

// This program's path, quoted (a path with spaces is one command), started in the
// notification area: at log-on the remote is wanted, not the window.
std::wstring StartCommand() {
    return L"\"" + ProgramPath() + L"\" --minimized";
}

// The value, environment variables expanded (RRF_RT_REG_SZ takes REG_EXPAND_SZ too, and
// expands it); empty when there is none.
std::wstring RunValue() {
    constexpr DWORD Types = RRF_RT_REG_SZ;
    DWORD size = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, Autostart::RunKey, Autostart::ValueName, Types, nullptr,
                     nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, Autostart::RunKey, Autostart::ValueName, Types, nullptr,
                     value.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    value.resize(std::wcslen(value.c_str()));
    return value;
}

std::wstring Normal(std::wstring path) {
    if (path.starts_with(L"\\\\?\\")) {
        path.erase(0, 4);
    }
    return std::filesystem::path(path).make_preferred().lexically_normal().wstring();
}

}  // namespace

bool Autostart::Starts(const std::wstring& value, const std::filesystem::path& program) {
    std::wstring named;
    if (value.starts_with(L'"')) {
        named = value.substr(1, value.find(L'"', 1) - 1);
    } else {
        // Unquoted: as far as ".exe" and a space or the end.
        for (std::size_t at = 0; (at = value.find(L'.', at)) != std::wstring::npos; ++at) {
            if (value.size() - at >= 4 &&
                CompareStringOrdinal(value.c_str() + at, 4, L".exe", 4, TRUE) == CSTR_EQUAL &&
                (at + 4 == value.size() || value[at + 4] == L' ')) {
                named = value.substr(0, at + 4);
                break;
            }
        }
    }
    const std::wstring a = Normal(named);
    const std::wstring b = Normal(program.wstring());
    return !named.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool Autostart::IsOn() {
    return Starts(RunValue(), ProgramPath());
}

bool Autostart::Set(bool on, std::string& error) {
    if (!on && !IsOn()) {
        return true;  // off already, or another copy's to keep
    }
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
