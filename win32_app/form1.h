#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "program/receiver_host.h"
#include "win32_app/keys_dialog.h"

class ListBoxHistoryList;
class PlayerFeedback;
class TrayIcon;

// The one window on Windows: a fixed-size frame (no thick frame, no maximize box) around
// History, a standard list box that screen readers read as it is, laid out as WindowLayout
// says; all but the corner grow with the monitor's scale (the manifest asks for
// per-monitor DPI awareness). Closing the window ends
// the message loop (WM_QUIT); its icon is also in the notification area (TrayIcon). It
// owns the receivers that write the list (through a ReceiverHost), so they are stopped and
// joined before the list goes. The keys window (KeysDialog) opens from it with Ctrl+K, the
// list's context menu ("Keys…": a right click or the menu key), its system menu and the
// tray's menu; it goes before the receivers, whose capture it arms. The context menu's
// "Copy" (and Ctrl+C) copies the selected line, which a right click selects. Built and used
// on the UI thread only.
class TForm1 {
  public:
    // Called once, as the last act of construction, with the host whose list the
    // receivers write, and the tray icon, which shows --notify's news as its balloon and
    // the problems met while running as its tooltip, and outlives the receivers. It starts
    // the receivers.
    using ReceiverStarter = std::function<void(ReceiverHost&, TrayIcon&)>;

    static constexpr const char* ClassName = "TForm1";
    static constexpr const char* IconName = "MAINICON";
    static constexpr int HistoryId = 100;
    static constexpr UINT CopyId = 40017;

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
    // What the keys window edits and how it is put in force; its capture is the receivers'.
    void SetKeys(KeysDialog::Setup setup) { keysSetup_ = std::move(setup); }
    // Opens the keys window, or raises the one open.
    void OpenKeys();
    // For the message loop, before TranslateMessage: Ctrl+K and the keys window's keyboard;
    // true when message was handled so.
    bool PreTranslate(MSG& message);

    HWND History = nullptr;

  private:
    // Places the list and sets its font and rows for the window's dots per inch.
    void ScaleContents(UINT dpi);
    // The list's context menu, at point (screen coordinates; -1, -1 from the keyboard).
    void ShowHistoryMenu(LPARAM point);
    // Puts the selected line on the clipboard, as CopiedLine says.
    void CopySelectedLine() const;
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HFONT font_ = nullptr;
    ListBoxHistoryList* historyList_ = nullptr;  // owned by receivers_
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<ReceiverHost> receivers_;
    KeysDialog::Setup keysSetup_;
    std::unique_ptr<KeysDialog> keys_;
};
