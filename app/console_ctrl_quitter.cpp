#include "app/console_ctrl_quitter.h"

#include <atomic>
#include <utility>

namespace {
std::atomic<ConsoleCtrlQuitter*> installed{nullptr};
// Windows ends the process about 5 s after a close event anyway.
constexpr DWORD CleanUpWaitMs = 4000;
}  // namespace

ConsoleCtrlQuitter::ConsoleCtrlQuitter(std::function<void()> quit)
    : quit_(std::move(quit)), cleanedUp_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    installed.store(this);
    SetConsoleCtrlHandler(OnCtrl, TRUE);
}

ConsoleCtrlQuitter::~ConsoleCtrlQuitter() {
    SetConsoleCtrlHandler(OnCtrl, FALSE);
    installed.store(nullptr);
    SetEvent(cleanedUp_);
    // A handler still waiting holds the event; the process ends with it.
}

BOOL WINAPI ConsoleCtrlQuitter::OnCtrl(DWORD event) {
    ConsoleCtrlQuitter* quitter = installed.load();
    if (quitter == nullptr) {
        return FALSE;
    }
    const HANDLE cleanedUp = quitter->cleanedUp_;
    quitter->quit_();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(cleanedUp, CleanUpWaitMs);
    }
    return TRUE;
}
