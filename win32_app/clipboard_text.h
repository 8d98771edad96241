#pragma once

#include <windows.h>

#include <string>

// Puts text on the clipboard as Unicode text, in place of what it held, for owner (a window
// of this thread's). False when the clipboard could not be had (another program holds it).
bool PutTextOnClipboard(HWND owner, const std::wstring& text);
