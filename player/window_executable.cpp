#include "player/window_executable.h"

#include "text/wide_text.h"

namespace {

// GetApplicationUserModelId, which Windows 8 brought: looked up, so the program still
// starts where it is missing.
using AppIdQuery = LONG(WINAPI*)(HANDLE process, UINT32* length, PWSTR id);

}  // namespace

std::string WindowExecutableName(HWND window) {
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0) {
        return {};
    }
    return ProcessExecutableName(processId);
}

std::string ProcessExecutableName(DWORD processId) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return {};
    }
    wchar_t path[MAX_PATH * 2];
    DWORD size = sizeof path / sizeof path[0];
    const BOOL found = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    if (!found) {
        return {};
    }
    const std::wstring_view full(path, size);
    const auto slash = full.find_last_of(L"\\/");
    return Narrow(slash == std::wstring_view::npos ? full : full.substr(slash + 1));
}

std::string ProcessAppUserModelId(DWORD processId) {
    const auto query = reinterpret_cast<AppIdQuery>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetApplicationUserModelId")));
    if (query == nullptr) {
        return {};
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return {};
    }
    // An id is at most APPLICATION_USER_MODEL_ID_MAX_LENGTH (130) characters.
    wchar_t id[131];
    UINT32 length = sizeof id / sizeof id[0];
    const bool packaged = query(process, &length, id) == ERROR_SUCCESS && length > 0;
    CloseHandle(process);
    return packaged ? Narrow(std::wstring_view(id, length - 1)) : std::string();
}
