#include "win32_app/single_instance.h"

#include "win32_app/form1.h"

SingleInstance::SingleInstance()
    : mutex_(CreateMutexW(nullptr, FALSE, MutexName)),
      first_(mutex_ == nullptr || GetLastError() != ERROR_ALREADY_EXISTS) {}

SingleInstance::~SingleInstance() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

bool SingleInstance::ShowTheOther() {
    const DWORD self = GetCurrentProcessId();
    for (HWND window = FindWindowExA(nullptr, nullptr, TForm1::ClassName, nullptr);
         window != nullptr; window = FindWindowExA(nullptr, window, TForm1::ClassName, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == self) {
            continue;
        }
        // Asynchronous: a hung Quorvel never holds this one up.
        ShowWindowAsync(window, IsIconic(window) ? SW_RESTORE : SW_SHOW);
        // The program the user just started may hand the foreground on.
        SetForegroundWindow(window);
        return true;
    }
    return false;
}
