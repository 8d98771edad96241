#pragma once

#include <windows.h>

#include <string>

// The file name of the program that owns window ("vlc.exe"), in UTF-8: what a key map's
// [player=GLOB] section matches on Windows. Empty when there is no window or the process
// cannot be asked (one with higher rights). Every process query of the player side is in
// window_executable.cpp.
std::string WindowExecutableName(HWND window);
// The same of a process.
std::string ProcessExecutableName(DWORD processId);
// The id of the packaged app a process belongs to
// ("Microsoft.ZuneMusic_8wekyb3d8bbwe!Microsoft.ZuneMusic"); empty for a program that is
// not one, or where the system cannot tell (before Windows 8).
std::string ProcessAppUserModelId(DWORD processId);
