#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

// WH_KEYBOARD_LL: every keystroke of the session, before any program has it, shown to the
// thread that made the hook to keep from the system or not. Windows calls it whenever that
// thread takes its messages, or waits in a call that serves sent messages (SendMessage,
// SendInput), and waits for the answer up to its time-out; a hook that answers later is
// removed, silently, and must be installed again. One a thread. Every SetWindowsHookEx call
// is in low_level_keyboard_hook.cpp.
class LowLevelKeyboardHook {
  public:
    struct Keystroke {
        unsigned virtualKey;
        bool up;
        std::uintptr_t extra;  // what its maker gave with it (dwExtraInfo)
        std::uint32_t time;    // when it was made (the system's milliseconds)
    };
    // Whether to keep the keystroke from the system: answers at once, never waiting.
    using Judge = std::function<bool(const Keystroke&)>;

    explicit LowLevelKeyboardHook(Judge judge) : judge_(std::move(judge)) {}
    ~LowLevelKeyboardHook();
    LowLevelKeyboardHook(const LowLevelKeyboardHook&) = delete;
    LowLevelKeyboardHook& operator=(const LowLevelKeyboardHook&) = delete;

    // Installs the hook, a fresh one in place of one there was; 0, or the error.
    DWORD Install();
    // How often the thread must ask for its messages, however idle, to be called at all:
    // Wine (8) takes a thread that has not asked for 5 s for hung, and passes its hook by
    // (the keystroke then reaches the program in front). None on Windows.
    static std::optional<std::chrono::milliseconds> AskEvery();

  private:
    static LRESULT CALLBACK Called(int code, WPARAM wParam, LPARAM lParam);
    void Remove();

    Judge judge_;
    HHOOK hook_ = nullptr;
};
