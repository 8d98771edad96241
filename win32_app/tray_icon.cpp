#include "win32_app/tray_icon.h"

#include <cwchar>
#include <string>

#include "program/app_log.h"
#include "text/wide_text.h"
#include "win32_app/autostart.h"

TrayIcon::TrayIcon(HWND owner, HICON icon, const wchar_t* tip)
    : owner_(owner), taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")), tip_(tip) {
    data_.cbSize = sizeof data_;
    data_.hWnd = owner;
    data_.uID = 1;
    data_.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    data_.uCallbackMessage = CallbackMessage;
    data_.hIcon = icon;
    std::wcsncpy(data_.szTip, tip, sizeof data_.szTip / sizeof data_.szTip[0] - 1);
    Add();
}

TrayIcon::~TrayIcon() {
    // Only an icon that is there: where no notification area answers, each call waits.
    if (added_) {
        Shell_NotifyIconW(NIM_DELETE, &data_);
    }
}

void TrayIcon::Add() {
    // Fails while there is no notification area (Explorer not running yet); it is added
    // when TaskbarCreated comes.
    added_ = Shell_NotifyIconW(NIM_ADD, &data_) != FALSE;
}

bool TrayIcon::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CallbackMessage) {
        switch (LOWORD(lParam)) {
            case WM_LBUTTONUP:
                ShowOrHide();
                break;
            case WM_RBUTTONUP:
            case WM_CONTEXTMENU:
                ShowMenu();
                break;
            default:
                break;
        }
        return true;
    }
    if (message == BalloonMessage) {
        ShowBalloon();
        return true;
    }
    if (message == ProblemMessage) {
        ShowProblem();
        return true;
    }
    if (message == taskbarCreated_) {
        Add();
        return true;
    }
    if (message != WM_COMMAND || HIWORD(wParam) != 0) {
        return false;
    }
    switch (LOWORD(wParam)) {
        case ShowHideId:
            ShowOrHide();
            return true;
        case AutostartId: {
            std::string error;
            if (!Autostart::Set(!Autostart::IsOn(), error)) {
                QUORVEL_WARNING(lcApp) << "cannot change \"Start with Windows\": " << error;
            }
            return true;
        }
        case QuitId:
            PostMessageW(owner_, WM_CLOSE, 0, 0);
            return true;
        default:
            return false;
    }
}

void TrayIcon::Show(const PlayerNews& news) {
    const std::lock_guard<std::mutex> lock(newsLock_);
    // One message on its way is enough: it shows the latest.
    if (!news_) {
        PostMessageW(owner_, BalloonMessage, 0, 0);
    }
    news_ = news;
}

void TrayIcon::ShowBalloon() {
    std::optional<PlayerNews> news;
    {
        const std::lock_guard<std::mutex> lock(newsLock_);
        news.swap(news_);
    }
    if (news) {
        Balloon(*news);
    }
}

void TrayIcon::Balloon(const PlayerNews& news) {
    if (!added_) {
        return;
    }
    NOTIFYICONDATAW balloon = data_;
    balloon.uFlags = NIF_INFO;
    const std::wstring title = Widen(news.player);
    const std::wstring text = Widen(news.text);
    std::wcsncpy(balloon.szInfoTitle, title.c_str(),
                 sizeof balloon.szInfoTitle / sizeof balloon.szInfoTitle[0] - 1);
    std::wcsncpy(balloon.szInfo, text.c_str(),
                 sizeof balloon.szInfo / sizeof balloon.szInfo[0] - 1);
    balloon.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
    Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void TrayIcon::ShowProblem() {
    const std::optional<LatestProblem::Change> change = problems_.Take();
    if (!change) {
        return;
    }
    // Kept in data_, so an icon added again after Explorer restarts shows it too.
    const std::wstring tip = change->problem.empty() ? tip_ : L"Quorvel: " + Widen(change->problem);
    std::wcsncpy(data_.szTip, tip.c_str(), sizeof data_.szTip / sizeof data_.szTip[0] - 1);
    data_.szTip[sizeof data_.szTip / sizeof data_.szTip[0] - 1] = L'\0';
    if (added_) {
        Shell_NotifyIconW(NIM_MODIFY, &data_);
    }
    if (!change->problem.empty() && change->notify && notifyProblems_) {
        Balloon({PlayerNews::Kind::Problem, "Quorvel", change->problem});
    }
}

bool TrayIcon::Shown() const {
    return IsWindowVisible(owner_) && !IsIconic(owner_);
}

void TrayIcon::ShowOrHide() {
    if (Shown()) {
        ShowWindow(owner_, SW_HIDE);
        return;
    }
    // A minimised window is shown as it was before.
    ShowWindow(owner_, IsIconic(owner_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(owner_);
}

void TrayIcon::ShowMenu() {
    const HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, ShowHideId, Shown() ? L"&Hide the window" : L"&Show the window");
    AppendMenuW(menu, MF_STRING, KeysId, L"&Keys…");
    AppendMenuW(menu, MF_STRING | (Autostart::IsOn() ? MF_CHECKED : MF_UNCHECKED), AutostartId,
                L"Start with &Windows");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, QuitId, L"&Quit");
    POINT at;
    GetCursorPos(&at);
    // Without it the menu stays open when the user clicks elsewhere.
    SetForegroundWindow(owner_);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, owner_, nullptr);
    PostMessageW(owner_, WM_NULL, 0, 0);
    DestroyMenu(menu);
}
