#pragma once

#include <windows.h>

#include <functional>

// Ends the program cleanly on Ctrl-C, Ctrl-Break, the console window being closed, log-off
// and shutdown: quit runs on the system's handler thread, and for the last three, where
// the system ends the process once the handler returns, the handler waits (a few seconds
// at most) until this object is destroyed, that is, until the program has cleaned up.
// One at a time.
class ConsoleCtrlQuitter {
  public:
    explicit ConsoleCtrlQuitter(std::function<void()> quit);
    ~ConsoleCtrlQuitter();
    ConsoleCtrlQuitter(const ConsoleCtrlQuitter&) = delete;
    ConsoleCtrlQuitter& operator=(const ConsoleCtrlQuitter&) = delete;

  private:
    static BOOL WINAPI OnCtrl(DWORD event);

    std::function<void()> quit_;
    HANDLE cleanedUp_;
};
