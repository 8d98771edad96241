#include "win32_app/message_box.h"

#include <windows.h>

#include "log/wide_text.h"

bool StandardErrorIsSeen() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return false;
    }
    switch (GetFileType(error)) {
        case FILE_TYPE_DISK:
        case FILE_TYPE_PIPE:
            return true;
        case FILE_TYPE_CHAR: {
            DWORD processes[2];
            return GetConsoleProcessList(processes, 2) > 1;
        }
        default:
            return false;
    }
}

void ShowMessageBox(const std::string& text, bool error) {
    MessageBoxW(nullptr, Widen(text).c_str(), L"Quorvel",
                MB_OK | MB_SETFOREGROUND | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}
