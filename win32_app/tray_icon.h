#pragma once

#include <windows.h>

#include <shellapi.h>

#include <mutex>
#include <optional>
#include <string>

#include "actions/player_feedback.h"
#include "program/latest_problem.h"

// The program's icon in the notification area. A click shows the window (restored when
// minimised) or hides it; its menu does the same, opens the keys window (KeysId, left to the
// owner), turns "Start with Windows" on or off (see Autostart; checked when on) and quits, as
// closing the window does. Made and used on the UI thread: the owner's window procedure hands it
// CallbackMessage, WM_COMMAND and every message it does not handle itself (Explorer's
// TaskbarCreated, after which the icon is added again).
//
// It is also where --notify's news is shown, as the icon's balloon: Show may come from any
// thread (the receiver's), and hands the news to the UI thread with a posted BalloonMessage;
// news that comes before the last was shown replaces it. Without the icon, nothing is shown.
// Its tooltip shows the latest problem met while running (Problems, from any thread, handed
// over with a posted ProblemMessage), a refused reload also as a balloon with NotifyProblems.
class TrayIcon : public PlayerFeedback {
  public:
    static constexpr UINT CallbackMessage = WM_APP + 2;
    static constexpr UINT BalloonMessage = WM_APP + 3;
    static constexpr UINT ProblemMessage = WM_APP + 4;
    // The menu's commands, as WM_COMMAND identifiers to the owner.
    static constexpr UINT ShowHideId = 40001;
    static constexpr UINT AutostartId = 40002;
    static constexpr UINT QuitId = 40003;
    // Opens the keys window: the owner's to handle, also from its system menu (a multiple
    // of 16, as the system menu's commands are), Ctrl+K and the history's context menu.
    static constexpr UINT KeysId = 40016;

    TrayIcon(HWND owner, HICON icon, const wchar_t* tip);
    ~TrayIcon() override;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // Whether the icon is there: not while no notification area answers.
    bool Added() const { return added_; }

    // True when the message was the icon's and has been handled.
    bool Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Show(const PlayerNews& news) override;
    // Where the receivers and the key map's reloads show their problems; safe from any thread.
    ProblemNotice& Problems() { return problems_; }
    // Whether a problem no player link has told of is also a balloon (--notify). UI thread.
    void NotifyProblems(bool notify) { notifyProblems_ = notify; }

  private:
    void Add();
    void ShowMenu();
    // The window is there to see: visible, not minimised.
    bool Shown() const;
    void ShowOrHide();
    void ShowBalloon();
    void Balloon(const PlayerNews& news);
    void ShowProblem();

    HWND owner_;
    NOTIFYICONDATAW data_{};
    UINT taskbarCreated_;
    bool added_ = false;
    std::mutex newsLock_;
    std::optional<PlayerNews> news_;  // the latest, until the UI thread shows it
    std::wstring tip_;                // the icon's own tooltip
    bool notifyProblems_ = false;
    LatestProblem problems_{[this] { PostMessageW(owner_, ProblemMessage, 0, 0); }};
};
