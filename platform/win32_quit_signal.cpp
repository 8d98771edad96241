#include <windows.h>

#include <mutex>
#include <utility>

#include "platform/quit_signal.h"

namespace {

// Windows ends the process about 5 s after a close event anyway.
constexpr DWORD CleanUpWaitMs = 4000;

// The handler runs on a thread of the system's, which may meet the QuitSignal's
// destruction: it finds the state only under this lock, and calls onQuit under it.
std::mutex handOver;
QuitSignal::State* installed = nullptr;  // guarded by handOver
// Set once the QuitSignal is gone; never closed, as a handler may still wait on it.
HANDLE cleanedUp = nullptr;

BOOL WINAPI OnCtrl(DWORD event);

}  // namespace

struct QuitSignal::State {
    std::function<void()> onQuit;
    HANDLE requested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

namespace {

BOOL WINAPI OnCtrl(DWORD event) {
    HANDLE waitFor = nullptr;
    {
        std::lock_guard lock(handOver);
        if (installed == nullptr) {
            return FALSE;
        }
        SetEvent(installed->requested);
        if (installed->onQuit) {
            installed->onQuit();
        }
        waitFor = cleanedUp;
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(waitFor, CleanUpWaitMs);
    }
    return TRUE;
}

}  // namespace

// Windows has no SIGHUP: onReload is never called.
QuitSignal::QuitSignal(std::function<void()> onQuit, std::function<void()>)
    : state_(std::make_unique<State>()) {
    state_->onQuit = std::move(onQuit);
    std::lock_guard lock(handOver);
    if (cleanedUp == nullptr) {
        cleanedUp = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ResetEvent(cleanedUp);
    installed = state_.get();
    SetConsoleCtrlHandler(OnCtrl, TRUE);
}

void QuitSignal::HoldHangups() {}

void QuitSignal::ReleaseHangups() {}

QuitSignal::~QuitSignal() {
    SetConsoleCtrlHandler(OnCtrl, FALSE);
    {
        std::lock_guard lock(handOver);
        installed = nullptr;
        SetEvent(cleanedUp);
    }
    CloseHandle(state_->requested);
}

void QuitSignal::Wait() {
    WaitForSingleObject(state_->requested, INFINITE);
}

void QuitSignal::Raise() {
    SetEvent(state_->requested);
}

bool StandardOutputIsTerminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(out, &mode) != 0 &&
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool StandardInputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}
