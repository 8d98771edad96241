#include "win32_app/console_attachment.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <tuple>

namespace {

bool ChosenByTheStarter(HANDLE handle) {
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

bool HasConsole() {
    DWORD processes[1];
    return GetConsoleProcessList(processes, 1) > 0;
}

// Standard input, output and error on the console, for the system's handles and the C
// and C++ streams alike.
void UseConsole() {
    (void)std::freopen("CONIN$", "r", stdin);
    (void)std::freopen("CONOUT$", "w", stdout);
    (void)std::freopen("CONOUT$", "w", stderr);
    for (const auto& [which, name, access] :
         {std::tuple{STD_INPUT_HANDLE, L"CONIN$", GENERIC_READ | GENERIC_WRITE},
          std::tuple{STD_OUTPUT_HANDLE, L"CONOUT$", GENERIC_READ | GENERIC_WRITE},
          std::tuple{STD_ERROR_HANDLE, L"CONOUT$", GENERIC_READ | GENERIC_WRITE}}) {
        const HANDLE handle = CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
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
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(out, &mode) || ChosenByTheStarter(out);
}

bool EnsureConsole() {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(in, &mode) || ChosenByTheStarter(in) || HasConsole()) {
        return true;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) {
        return false;
    }
    UseConsole();
    return true;
}

void KeepOwnConsoleUntilRead() {
    DWORD processes[2];
    DWORD mode = 0;
    if (GetConsoleProcessList(processes, 2) != 1 ||
        !GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        return;
    }
    std::cout << "\nPress Enter to close this window." << std::flush;
    std::cin.clear();
    std::string line;
    std::getline(std::cin, line);
}
