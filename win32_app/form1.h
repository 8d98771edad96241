#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "program/receiver_host.h"

class ListBoxHistoryList;
class PlayerFeedback;
class TrayIcon;

// The one window on Windows: a fixed-size frame (no thick frame, no maximize box) around
// History, a standard list box that screen readers read as it is, laid out as WindowLayout
// says; all but the corner grow with the monitor's scale (the manifest asks for
// per-monitor DPI awareness). Closing the window ends
// the message loop (WM_QUIT); its icon is also in the notification area (TrayIcon). It
// owns the receivers that write the list (through a ReceiverHost), so they are stopped and
// joined before the list goes. Built and used on the UI thread only.
class TForm1 {
  public:
    // Called once, as the last act of construction, with the host whose list the
    // receivers write, and the tray icon, which shows --notify's news as its balloon and
    // outlives the receivers. It starts the receivers.
    using ReceiverStarter = std::function<void(ReceiverHost&, PlayerFeedback&)>;

    static constexpr const char* ClassName = "TForm1";
    static constexpr const char* IconName = "MAINICON";
    static constexpr int HistoryId = 100;

    TForm1(HINSTANCE instance, const ReceiverStarter& startReceiver);
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    HWND Handle() const { return window_; }
    void Show(int how) const;
    // Whether the icon is in the notification area now.
    bool InTray() const;
    // The history follows new lines from the start, not only once the user scrolls to the
    // end (--follow).
    void FollowTheEnd();

    HWND History = nullptr;

  private:
    // Places the list and sets its font and rows for the window's dots per inch.
    void ScaleContents(UINT dpi);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    ListBoxHistoryList* historyList_ = nullptr;  // owned by receivers_
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<ReceiverHost> receivers_;
};
