#include "player/window_executable.h"

#include "text/wide_text.h"

std::string WindowExecutableName(HWND window) {
    DWORD processId = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0) {
        return {};
    }
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
