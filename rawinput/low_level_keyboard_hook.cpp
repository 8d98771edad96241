#include "rawinput/low_level_keyboard_hook.h"

namespace {

// The thread's hook: Windows calls it on the thread that installed it, with no context.
thread_local LowLevelKeyboardHook* threadHook = nullptr;

}  // namespace

LowLevelKeyboardHook::~LowLevelKeyboardHook() {
    Remove();
}

void LowLevelKeyboardHook::Remove() {
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
    }
    if (threadHook == this) {
        threadHook = nullptr;
    }
}

DWORD LowLevelKeyboardHook::Install() {
    Remove();
    hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, Called, GetModuleHandleW(nullptr), 0);
    if (hook_ == nullptr) {
        return GetLastError();
    }
    threadHook = this;
    return 0;
}

std::optional<std::chrono::milliseconds> LowLevelKeyboardHook::AskEvery() {
    // Wine's own export.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        return std::chrono::seconds(4);
    }
    return std::nullopt;
}

LRESULT CALLBACK LowLevelKeyboardHook::Called(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && threadHook != nullptr) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        if (threadHook->judge_({key->vkCode, up, key->dwExtraInfo, key->time})) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
