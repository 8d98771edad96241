#include "win32_app/form1.h"

#include <stdexcept>
#include <string>

#include "program/window_layout.h"
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

// A function of user32 that older Windows (8.1) lacks, or null.
template <typename Function>
Function User32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

// The window's dots per inch: its monitor's since Windows 10 1607, else the screen's.
UINT WindowDpi(HWND window) {
    static const auto forWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
    if (forWindow != nullptr) {
        if (const UINT dpi = forWindow(window); dpi != 0) {
            return dpi;
        }
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int Scaled(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), 96);
}

// The outer size of a frame whose client area is ClientWidth x ClientHeight at 96 dpi.
SIZE FrameSize(UINT dpi) {
    static const auto forDpi =
        User32Function<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    RECT frame = {0, 0, Scaled(WindowLayout::ClientWidth, dpi),
                  Scaled(WindowLayout::ClientHeight, dpi)};
    if (forDpi == nullptr || !forDpi(&frame, FormStyle, FALSE, 0, dpi)) {
        AdjustWindowRectEx(&frame, FormStyle, FALSE, 0);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, const ReceiverStarter& startReceiver) {
    RegisterFormClass(instance, WindowProc);
    const SIZE frame = FrameSize(96);
    const std::string& caption = WindowLayout::Caption();
    window_ =
        CreateWindowExA(0, ClassName, caption.c_str(), FormStyle, WindowLayout::Left,
                        WindowLayout::Top, frame.cx, frame.cy, nullptr, nullptr, instance, this);
    if (window_ == nullptr) {
        throw std::runtime_error("cannot create the window (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    History = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "History", HistoryStyle, 0, 0, 0, 0,
                              window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(HistoryId)),
                              instance, nullptr);
    // On a monitor above 96 dpi the frame grows to its monitor's scale.
    const UINT dpi = WindowDpi(window_);
    if (dpi != 96) {
        const SIZE scaled = FrameSize(dpi);
        SetWindowPos(window_, nullptr, 0, 0, scaled.cx, scaled.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ScaleContents(dpi);
    SendMessageA(History, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WindowLayout::GreetingLine));

    tray_ = std::make_unique<TrayIcon>(window_, LoadIconA(instance, IconName),
                                       std::wstring(caption.begin(), caption.end()).c_str());

    auto list = std::make_unique<ListBoxHistoryList>(window_, History);
    historyList_ = list.get();
    receivers_ = std::make_unique<ReceiverHost>(std::move(list));
    startReceiver(*receivers_, *tray_);
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

void TForm1::ScaleContents(UINT dpi) {
    const WindowLayout::Box bounds = WindowLayout::History;
    SetWindowPos(History, nullptr, Scaled(bounds.left, dpi), Scaled(bounds.top, dpi),
                 Scaled(bounds.width, dpi), Scaled(bounds.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const HFONT old = font_;
    font_ = CreateFontA(-Scaled(11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_SWISS, "MS Sans Serif");
    SendMessageA(History, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    SendMessageA(History, LB_SETITEMHEIGHT, 0, Scaled(WindowLayout::RowHeight, dpi));
    if (old != nullptr) {
        DeleteObject(old);
    }
}

bool TForm1::InTray() const {
    return tray_->Added();
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
        case WM_DPICHANGED:
            // Moved to a monitor of another scale: Windows suggests the frame's new place.
            if (form != nullptr && form->History != nullptr) {
                const auto* suggested = reinterpret_cast<const RECT*>(lParam);
                SetWindowPos(window, nullptr, suggested->left, suggested->top,
                             suggested->right - suggested->left, suggested->bottom - suggested->top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
                form->ScaleContents(HIWORD(wParam));
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
