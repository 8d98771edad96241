#pragma once

#include <windows.h>

#include <string>

// The file name of the program that owns window ("vlc.exe"), in UTF-8: what a key map's
// [player=GLOB] section matches on Windows. Empty when there is no window or the process
// cannot be asked (one with higher rights). Every process query of the player side is in
// window_executable.cpp.
std::string WindowExecutableName(HWND window);
