#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// WH_KEYBOARD_LL: every keystroke of the session, before any program has it, shown to the
// thread that made the hook to keep from the system or not. Windows calls it on that thread
// and holds the whole session's input until it answers (up to its time-out; a hook that
// answers later is removed, silently). So the hook has a thread of its own, which only takes
// its messages: whatever the rest of the program waits on, the hook answers at once. Every
// SetWindowsHookEx call is in low_level_keyboard_hook.cpp. Made and used on one thread; the
// judge runs on the hook's.
class LowLevelKeyboardHook {
  public:
    struct Keystroke {
        unsigned virtualKey;
        bool up;
        std::uintptr_t extra;  // what its maker gave with it (dwExtraInfo)
        std::uint32_t time;    // when it was made (the system's milliseconds)
    };
    // On the hook's thread: whether to keep the keystroke from the system. It must answer at
    // once, never waiting on another thread (posting is all it may do with one).
    using Judge = std::function<bool(const Keystroke&)>;

    explicit LowLevelKeyboardHook(Judge judge) : judge_(std::move(judge)) {}
    // Removes the hook and ends its thread.
    ~LowLevelKeyboardHook();
    LowLevelKeyboardHook(const LowLevelKeyboardHook&) = delete;
    LowLevelKeyboardHook& operator=(const LowLevelKeyboardHook&) = delete;

    // Installs the hook on its thread (started at the first call), a fresh one in place of
    // one there was; 0, or the error. Waits for the hook's thread to have done it.
    DWORD Install();
    // How often a thread must ask for its messages, however idle, for its hook to be
    // called at all: Wine (8) takes a thread that has not asked for 5 s for hung, and passes
    // its hook by (the keystroke then reaches the program in front). None on Windows.
    static std::optional<std::chrono::milliseconds> AskEvery();

  private:
    static LRESULT CALLBACK Called(int code, WPARAM wParam, LPARAM lParam);
    // The hook's thread: installs when asked, takes its messages until told to quit.
    void Run();
    void Reinstall();

    Judge judge_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable done_;
    DWORD threadId_ = 0;  // guarded by mutex_ until the thread has said it
    bool started_ = false;
    // Each Install's request and answer, guarded by mutex_.
    unsigned asked_ = 0;
    unsigned answered_ = 0;
    DWORD error_ = 0;
    HHOOK hook_ = nullptr;  // the hook's thread's
};
