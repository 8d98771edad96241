#include "win32_app/form1.h"

#include <windowsx.h>

#include <stdexcept>
#include <string>

#include "program/app_log.h"
#include "program/line_copy.h"
#include "program/window_layout.h"
#include "text/wide_text.h"
#include "win32_app/clipboard_text.h"
#include "win32_app/list_box_history_list.h"
#include "win32_app/tray_icon.h"
#include "win32_app/window_dpi.h"

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

// The outer size of a frame whose client area is ClientWidth x ClientHeight at 96 dpi.
SIZE FormSize(UINT dpi) {
    return FrameSize(
        {Scaled(WindowLayout::ClientWidth, dpi), Scaled(WindowLayout::ClientHeight, dpi)},
        FormStyle, 0, dpi);
}

}  // namespace

TForm1::TForm1(HINSTANCE instance, const ReceiverStarter& startReceiver) : instance_(instance) {
    RegisterFormClass(instance, WindowProc);
    const SIZE frame = FormSize(96);
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
        const SIZE scaled = FormSize(dpi);
        SetWindowPos(window_, nullptr, 0, 0, scaled.cx, scaled.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ScaleContents(dpi);
    SendMessageA(History, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WindowLayout::GreetingLine));

    // The keys window's ways in leave the window as it is drawn.
    const HMENU system = GetSystemMenu(window_, FALSE);
    AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(system, MF_STRING, TrayIcon::KeysId, L"&Keys…\tCtrl+K");
    ACCEL keys[] = {{FCONTROL | FVIRTKEY, 'K', TrayIcon::KeysId},
                    {FCONTROL | FVIRTKEY, 'C', CopyId}};
    accelerators_ = CreateAcceleratorTableW(keys, 2);

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
    // The keys window first: it arms the receivers' capture. Then the receivers: they write
    // the list box about to go.
    keys_.reset();
    receivers_.reset();
    tray_.reset();
    if (IsWindow(window_)) {
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    DeleteObject(font_);
    DestroyAcceleratorTable(accelerators_);
}

void TForm1::OpenKeys() {
    if (keys_ != nullptr && keys_->Handle() != nullptr) {
        keys_->Raise();
        return;
    }
    keys_.reset();
    KeysDialog::Setup setup = keysSetup_;
    setup.capture = &receivers_->Capture();
    try {
        keys_ = std::make_unique<KeysDialog>(instance_, window_, std::move(setup));
    } catch (const std::exception& error) {
        QUORVEL_WARNING(lcApp) << error.what();
    }
}

bool TForm1::PreTranslate(MSG& message) {
    if (keys_ != nullptr && keys_->Translate(message)) {
        return true;
    }
    return (message.hwnd == window_ || IsChild(window_, message.hwnd)) &&
           TranslateAcceleratorW(window_, accelerators_, &message) != 0;
}

void TForm1::ShowHistoryMenu(LPARAM point) {
    POINT at{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (point == -1) {
        // From the keyboard: at the list's corner.
        const UINT dpi = WindowDpi(window_);
        at = {Scaled(10, dpi), Scaled(10, dpi)};
        ClientToScreen(History, &at);
    } else {
        // A right click acts on the line under it, as it does in Explorer.
        POINT client = at;
        ScreenToClient(History, &client);
        const LRESULT hit =
            SendMessageW(History, LB_ITEMFROMPOINT, 0, MAKELPARAM(client.x, client.y));
        if (HIWORD(hit) == 0) {
            SendMessageW(History, LB_SETCURSEL, LOWORD(hit), 0);
        }
    }
    const HMENU menu = CreatePopupMenu();
    const bool selected = SendMessageW(History, LB_GETCURSEL, 0, 0) != LB_ERR;
    AppendMenuW(menu, MF_STRING | (selected ? 0 : MF_GRAYED), CopyId, L"&Copy\tCtrl+C");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, TrayIcon::KeysId, L"&Keys…\tCtrl+K");
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
}

void TForm1::CopySelectedLine() const {
    const LRESULT row = SendMessageW(History, LB_GETCURSEL, 0, 0);
    if (row != LB_ERR) {
        const std::string line = Narrow(ListBoxHistoryList::LineText(History, row));
        PutTextOnClipboard(window_, Widen(CopiedLine(line)));
    }
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
        case WM_COMMAND:
            if (form != nullptr && LOWORD(wParam) == TrayIcon::KeysId) {
                form->OpenKeys();
                return 0;
            }
            if (form != nullptr && LOWORD(wParam) == CopyId) {
                form->CopySelectedLine();
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_SYSCOMMAND:
            if (form != nullptr && (wParam & 0xFFF0) == TrayIcon::KeysId) {
                form->OpenKeys();
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_CONTEXTMENU:
            if (form != nullptr && reinterpret_cast<HWND>(wParam) == form->History) {
                form->ShowHistoryMenu(lParam);
                return 0;
            }
            return DefWindowProcA(window, message, wParam, lParam);
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
