#pragma once

#include <windows.h>

// The windows' scale, for per-monitor DPI awareness (the manifest asks for it): sizes are
// given at 96 dpi and grown to a window's monitor.

// A function of user32 that older Windows (8.1) lacks, or null.
template <typename Function>
Function User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

// The screen's dots per inch, as the system scales for windows that do not.
UINT ScreenDpi();
// The window's dots per inch: its monitor's since Windows 10 1607, else the screen's.
UINT WindowDpi(HWND window);

inline int Scaled(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

// The outer size of a frame of style and exStyle, without a menu, around a client area of
// client pixels at dpi.
SIZE FrameSize(SIZE client, DWORD style, DWORD exStyle, UINT dpi);
