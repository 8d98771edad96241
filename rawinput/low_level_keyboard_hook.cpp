#include "rawinput/low_level_keyboard_hook.h"

namespace {

// Asks the hook's thread to put a fresh hook in place.
constexpr UINT InstallMessage = WM_APP + 1;

// The thread's hook: Windows calls it on the thread that installed it, with no context.
thread_local LowLevelKeyboardHook* threadHook = nullptr;

}  // namespace

LowLevelKeyboardHook::~LowLevelKeyboardHook() {
    if (thread_.joinable()) {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
}

DWORD LowLevelKeyboardHook::Install() {
    std::unique_lock lock(mutex_);
    const unsigned ask = ++asked_;
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { Run(); });
    } else if (!PostThreadMessageW(threadId_, InstallMessage, 0, 0)) {
        --asked_;
        return GetLastError();
    }
    done_.wait(lock, [&] { return answered_ >= ask; });
    return error_;
}

void LowLevelKeyboardHook::Run() {
    MSG message;
    // Makes the thread's queue, for the messages Install and the destructor post.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    threadHook = this;
    {
        const std::lock_guard lock(mutex_);
        threadId_ = GetCurrentThreadId();
    }
    Reinstall();
    const auto every = AskEvery();
    const DWORD wait = every ? static_cast<DWORD>(every->count()) : INFINITE;
    for (;;) {
        // The hook's calls are sent messages: taken in the wait and by PeekMessage.
        MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                UnhookWindowsHookEx(hook_);
                threadHook = nullptr;
                return;
            }
            if (message.message == InstallMessage && message.hwnd == nullptr) {
                Reinstall();
            }
        }
    }
}

void LowLevelKeyboardHook::Reinstall() {
    if (hook_ != nullptr) {
        UnhookWindowsHookEx(hook_);
    }
    hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, Called, GetModuleHandleW(nullptr), 0);
    const DWORD error = hook_ == nullptr ? GetLastError() : 0;
    {
        const std::lock_guard lock(mutex_);
        error_ = error;
        answered_ = asked_;
    }
    done_.notify_all();
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
