#include "win32_app/console_attachment.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <tuple>

namespace {

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

bool GoesSomewhere(HANDLE handle) {
    const DWORD type = GetFileType(handle);
    return IsConsole(handle) || type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

bool HasConsole() {
    DWORD processes[1];
    return GetConsoleProcessList(processes, 1) > 0;
}

// The standard handles that went nowhere before on the console, for the system's handles
// and the C and C++ streams alike; the others as they were (attaching may have replaced
// them).
void UseConsole(const HANDLE (&before)[3]) {
    const std::tuple<DWORD, FILE*, const char*, const char*> streams[3] = {
        {STD_INPUT_HANDLE, stdin, "CONIN$", "r"},
        {STD_OUTPUT_HANDLE, stdout, "CONOUT$", "w"},
        {STD_ERROR_HANDLE, stderr, "CONOUT$", "w"}};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& [which, stream, name, mode] = streams[i];
        if (GoesSomewhere(before[i])) {
            SetStdHandle(which, before[i]);
            continue;
        }
        (void)std::freopen(name, mode, stream);
        const HANDLE handle =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            SetStdHandle(which, handle);
        }
    }
    std::cin.clear();
    std::cout.clear();
    std::cerr.clear();
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

}  // namespace

bool StandardOutputGoesSomewhere() {
    return GoesSomewhere(GetStdHandle(STD_OUTPUT_HANDLE));
}

bool StandardOutputGiven() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return GoesSomewhere(output) || (output != nullptr && output != INVALID_HANDLE_VALUE &&
                                     GetFileType(output) == FILE_TYPE_CHAR);
}

bool EnsureConsole() {
    if (StandardOutputGoesSomewhere() || HasConsole()) {
        return true;
    }
    const HANDLE before[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                              GetStdHandle(STD_ERROR_HANDLE)};
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) {
        return false;
    }
    UseConsole(before);
    return true;
}

void KeepOwnConsoleUntilRead() {
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1 || !IsConsole(GetStdHandle(STD_INPUT_HANDLE)) ||
        !IsConsole(GetStdHandle(STD_OUTPUT_HANDLE))) {
        return;
    }
    std::cout << "\nPress Enter to close this window." << std::flush;
    std::cin.clear();
    std::string line;
    std::getline(std::cin, line);
}
