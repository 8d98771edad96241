#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A window standing in for Windows Media Player: it records the WM_COMMAND messages it
// gets, and the keys pressed while it has the focus, and answers questions about them by
// message, from any thread or process.
class StandInPlayer {
  public:
    // Replies with how many WM_COMMANDs arrived.
    static constexpr UINT CountMessage = WM_APP + 10;
    // Replies with the wParam of the WM_COMMAND at index wParam.
    static constexpr UINT CommandMessage = WM_APP + 11;
    // Replies at once, then handles nothing until the event named by ReleaseEventName
    // is set: a player that hangs.
    static constexpr UINT HangMessage = WM_APP + 12;
    // Replies with how many keys went down (WM_KEYDOWN), and with the virtual key of the
    // one at index wParam.
    static constexpr UINT KeyCountMessage = WM_APP + 13;
    static constexpr UINT KeyMessage = WM_APP + 14;

    // Makes the window on the calling thread, which must handle its messages.
    explicit StandInPlayer(const std::string& title);
    ~StandInPlayer();
    StandInPlayer(const StandInPlayer&) = delete;
    StandInPlayer& operator=(const StandInPlayer&) = delete;

    HWND Handle() const { return window_; }

    // The stand-in as a process of its own: the window, until it is closed.
    static int RunProcess(const std::string& title);

    // The commands the stand-in at window has recorded, each the WM_COMMAND's wParam;
    // asked by message, so every message sent to it before has been handled.
    static std::vector<WPARAM> Commands(HWND window);
    // The virtual keys that went down in it, asked likewise.
    static std::vector<WPARAM> Keys(HWND window);
    // The event that ends a hang of the stand-in in process id.
    static std::string ReleaseEventName(DWORD processId);

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_;
    std::vector<WPARAM> commands_;
    std::vector<WPARAM> keys_;
};
