#include "win32_app/form1.h"

#include <stdexcept>
#include <string>

#include "win32_app/list_box_history_list.h"
#include "win32_app/tray_icon.h"

namespace {

constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Not sorted, one line selectable at a time, not owner-drawn; exactly its given height.
constexpr DWORD HistoryStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXA windowClass{};
    if (GetClassInfoExA(instance, TForm1::ClassName, &windowClass)) {
        return;
    }
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, TForm1::IconName);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = TForm1::ClassName;
    if (RegisterClassExA(&windowClass) == 0) {
        throw std::runtime_error("cannot register the window class (error " +
                                 std::to_string(GetLastError()) + ")");
    }
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, const ReceiverStarter& startReceiver) {
    RegisterFormClass(instance, WindowProc);
    RECT frame = {0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&frame, FormStyle, FALSE, 0);
    window_ = CreateWindowExA(0, ClassName, Caption, FormStyle, Left, Top, frame.right - frame.left,
                              frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        throw std::runtime_error("cannot create the window (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    History = CreateWindowExA(
        WS_EX_CLIENTEDGE, "LISTBOX", "History", HistoryStyle, HistoryBounds.left, HistoryBounds.top,
        HistoryBounds.right - HistoryBounds.left, HistoryBounds.bottom - HistoryBounds.top, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(HistoryId)), instance, nullptr);
    font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    SendMessageA(History, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    SendMessageA(History, LB_SETITEMHEIGHT, 0, HistoryRowHeight);
    SendMessageA(History, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GreetingLine));

    tray_ = std::make_unique<TrayIcon>(
        window_, LoadIconA(instance, IconName),
        std::wstring(Caption, Caption + std::char_traits<char>::length(Caption)).c_str());

    auto list = std::make_unique<ListBoxHistoryList>(window_, History);
    historyList_ = list.get();
    receivers_ = std::make_unique<ReceiverHost>(std::move(list));
    startReceiver(*receivers_);
}

void TForm1::FollowTheEnd() {
    historyList_->FollowTheEnd();
}

TForm1::~TForm1() {
    // The receivers first: they write the list box about to go.
    receivers_.reset();
    tray_.reset();
    if (IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    DeleteObject(font_);
}

void TForm1::Show(int how) const {
    ShowWindow(window_, how);
    UpdateWindow(window_);
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form != nullptr && form->tray_ != nullptr && form->tray_->Handle(message, wParam, lParam)) {
        return 0;
    }
    switch (message) {
        case ListBoxHistoryList::DrainMessage:
            if (form != nullptr && form->historyList_ != nullptr) {
                form->historyList_->Drain();
            }
            return 0;
        case WM_SETFOCUS:
            // The list is the only control, first in the tab order.
            if (form != nullptr && form->History != nullptr) {
                SetFocus(form->History);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
