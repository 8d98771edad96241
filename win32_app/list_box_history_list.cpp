#include "win32_app/list_box_history_list.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "text/wide_text.h"

namespace {

// How far inside its row the list box draws a line's text.
constexpr int TextInset = 2;

TTTOOLINFOW ToolOf(HWND listBox, wchar_t* text) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = listBox;
    tool.uId = reinterpret_cast<UINT_PTR>(listBox);
    tool.lpszText = text;
    return tool;
}

}  // namespace

ListBoxHistoryList::ListBoxHistoryList(HWND owner, HWND listBox)
    : owner_(owner), listBox_(listBox) {
    reasons_.resize(std::max<LRESULT>(0, SendMessageA(listBox_, LB_GETCOUNT, 0, 0)));
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, owner_, nullptr, nullptr, nullptr);
    if (tip_ == nullptr) {
        return;
    }
    wchar_t none[] = L"";
    TTTOOLINFOW tool = ToolOf(listBox_, none);
    SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // Reasons can be long paths: wrapped, not cut.
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 400);
    // The list box's own procedure stays; ours only watches the pointer. It finds us in
    // the list box's user data, which costs nothing to read (a window property is a round
    // trip to the server under Wine, on every message, thousands a second in a flood).
    SetWindowLongPtrW(listBox_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    listBoxProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        listBox_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListBoxHistoryList::ListBoxProc)));
}

ListBoxHistoryList::~ListBoxHistoryList() {
    if (listBoxProc_ != nullptr && IsWindow(listBox_)) {
        SetWindowLongPtrW(listBox_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listBoxProc_));
        SetWindowLongPtrW(listBox_, GWLP_USERDATA, 0);
    }
    if (tip_ != nullptr && IsWindow(tip_)) {
        DestroyWindow(tip_);
    }
}

LRESULT CALLBACK ListBoxHistoryList::ListBoxProc(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    auto* list = reinterpret_cast<ListBoxHistoryList*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (list == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_MOUSEMOVE) {
        list->TrackPointer(
            {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    } else if (message == WM_MOUSELEAVE || message == WM_MOUSEWHEEL || message == WM_VSCROLL) {
        list->HideTip();
    }
    return CallWindowProcW(list->listBoxProc_, window, message, wParam, lParam);
}

void ListBoxHistoryList::TrackPointer(POINT point) {
    const LRESULT hit = SendMessageW(listBox_, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    const int row = HIWORD(hit) == 0 ? LOWORD(hit) : -1;
    if (row != tipRow_) {
        HideTip();
        tipRow_ = row;
        std::wstring text = TipOf(row);
        if (text.empty() || tip_ == nullptr) {
            return;
        }
        TTTOOLINFOW tool = ToolOf(listBox_, text.data());
        SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, listBox_, 0};
        TrackMouseEvent(&leave);
        tipShown_ = true;
    }
    if (!tipShown_) {
        return;
    }
    // Beside the pointer, not under it, where it would hide the line.
    POINT screen = {point.x + 16, point.y + 16};
    ClientToScreen(listBox_, &screen);
    SendMessageW(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x, screen.y));
    wchar_t none[] = L"";
    TTTOOLINFOW tool = ToolOf(listBox_, none);
    SendMessageW(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void ListBoxHistoryList::HideTip() {
    if (tipShown_) {
        wchar_t none[] = L"";
        TTTOOLINFOW tool = ToolOf(listBox_, none);
        SendMessageW(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    }
    tipShown_ = false;
    tipRow_.reset();
}

std::wstring ListBoxHistoryList::TipOf(int row) const {
    if (row < 0 || row >= static_cast<int>(reasons_.size())) {
        return {};
    }
    std::wstring tip = LineText(listBox_, row);
    if (!Cuts(row, tip)) {
        tip.clear();
    }
    if (!reasons_[row].empty()) {
        tip += (tip.empty() ? L"" : L"\r\n") + Widen(reasons_[row]);
    }
    return tip;
}

bool ListBoxHistoryList::Cuts(int row, const std::wstring& text) const {
    RECT item;
    if (text.empty() ||
        SendMessageW(listBox_, LB_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
        return false;
    }
    const HDC dc = GetDC(listBox_);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(listBox_, WM_GETFONT, 0, 0));
    const HGDIOBJ before = font != nullptr ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (before != nullptr) {
        SelectObject(dc, before);
    }
    ReleaseDC(listBox_, dc);
    return size.cx > item.right - item.left - TextInset;
}

std::wstring ListBoxHistoryList::LineText(HWND listBox, int row) {
    const LRESULT length = SendMessageW(listBox, LB_GETTEXTLEN, row, 0);
    if (length == LB_ERR) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(listBox, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return text;
}

void ListBoxHistoryList::RequestHandOver() {
    // Fails only once the window is gone, when nothing is shown any more.
    PostMessageA(owner_, DrainMessage, 0, 0);
}

namespace {

// The list box's own lines, as the batch is applied to them on the UI thread.
class ListBoxLines : public HistoryList {
  public:
    ListBoxLines(HWND listBox, std::deque<std::string>& reasons)
        : listBox_(listBox), reasons_(reasons) {}

    void DeleteLine(int index) override {
        if (SendMessageA(listBox_, LB_DELETESTRING, index, 0) != LB_ERR &&
            index < static_cast<int>(reasons_.size())) {
            reasons_.erase(reasons_.begin() + index);
        }
    }
    void InsertLine(int index, const std::string& text) override {
        const LRESULT count = SendMessageA(listBox_, LB_GETCOUNT, 0, 0);
        // -1 appends; an index equal to the count means the same.
        const WPARAM at = index == count ? static_cast<WPARAM>(-1) : index;
        const LRESULT added =
            SendMessageA(listBox_, LB_INSERTSTRING, at, reinterpret_cast<LPARAM>(text.c_str()));
        if (added >= 0 && added <= static_cast<LRESULT>(reasons_.size())) {
            reasons_.insert(reasons_.begin() + added, std::string());
        }
    }
    void ExplainLine(int index, const std::string& why) override {
        if (index >= 0 && index < static_cast<int>(reasons_.size())) {
            reasons_[index] = why;
        }
    }
    // Once for the whole batch, after it.
    void Repaint() override { repaint_ = true; }
    // A few lines are deleted one by one (each moves the lines after it); many, by
    // rebuilding the list box with the lines that stay.
    void DeleteFirstLines(int count) override {
        const int total = static_cast<int>(SendMessageA(listBox_, LB_GETCOUNT, 0, 0));
        count = std::clamp(count, 0, total);
        const int top = static_cast<int>(SendMessageA(listBox_, LB_GETTOPINDEX, 0, 0));
        if (count <= OneByOne) {
            for (int i = 0; i < count; ++i) {
                SendMessageA(listBox_, LB_DELETESTRING, 0, 0);
            }
        } else {
            Rebuild(count, total);
        }
        // The lines in sight stay in sight.
        SendMessageA(listBox_, LB_SETTOPINDEX, std::max(0, top - count), 0);
        reasons_.erase(reasons_.begin(),
                       reasons_.begin() + std::min<std::size_t>(count, reasons_.size()));
    }

    bool RepaintAsked() const { return repaint_; }

  private:
    static constexpr int OneByOne = 1000;

    void Rebuild(int count, int total) {
        const int selected = static_cast<int>(SendMessageA(listBox_, LB_GETCURSEL, 0, 0));
        std::vector<std::string> kept;
        kept.reserve(total - count);
        std::size_t bytes = 0;
        for (int i = count; i < total; ++i) {
            std::string text(SendMessageA(listBox_, LB_GETTEXTLEN, i, 0), '\0');
            SendMessageA(listBox_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
            bytes += text.size() + 1;
            kept.push_back(std::move(text));
        }
        SendMessageA(listBox_, LB_RESETCONTENT, 0, 0);
        SendMessageA(listBox_, LB_INITSTORAGE, kept.size(), bytes);
        for (const std::string& text : kept) {
            SendMessageA(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        // The user's selection stays on its line, as a delete leaves it.
        if (selected >= count) {
            SendMessageA(listBox_, LB_SETCURSEL, selected - count, 0);
        }
    }

    HWND listBox_;
    std::deque<std::string>& reasons_;
    bool repaint_ = false;
};

}  // namespace

void ListBoxHistoryList::Drain() {
    const bool follow = ShowsTheEnd();
    ListBoxLines lines(listBox_, reasons_);
    // A list box redraws on every write: under a flood of bytes, thousands of redraws a
    // second would leave the window no time to answer. The batch is drawn once.
    SendMessageA(listBox_, WM_SETREDRAW, FALSE, 0);
    // A slice at a time, so a flood (or the trim of the oldest lines) leaves the window
    // free to answer between slices; the rest of the batch comes in a later message.
    const auto end = std::chrono::steady_clock::now() + SliceTime;
    bool applied = false;
    do {
        applied = ApplyTo(lines, false, SliceWrites) || applied;
    } while (Behind() && std::chrono::steady_clock::now() < end);
    if (Behind()) {
        RequestHandOver();
    }
    if (applied && follow) {
        const LRESULT count = SendMessageA(listBox_, LB_GETCOUNT, 0, 0);
        SendMessageA(listBox_, LB_SETTOPINDEX, count - VisibleRows(), 0);
    }
    SendMessageA(listBox_, WM_SETREDRAW, TRUE, 0);
    if (!applied) {
        return;
    }
    // The line under the pointer may be another one now.
    HideTip();
    // The frame too: the scroll bar changed with the lines.
    RedrawWindow(
        listBox_, nullptr, nullptr,
        RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | (lines.RepaintAsked() ? RDW_UPDATENOW : 0));
}

int ListBoxHistoryList::VisibleRows() const {
    RECT client;
    GetClientRect(listBox_, &client);
    const LRESULT rowHeight = SendMessageA(listBox_, LB_GETITEMHEIGHT, 0, 0);
    return rowHeight > 0 ? static_cast<int>((client.bottom - client.top) / rowHeight) : 1;
}

bool ListBoxHistoryList::ShowsTheEnd() const {
    const LRESULT count = SendMessageA(listBox_, LB_GETCOUNT, 0, 0);
    const LRESULT top = SendMessageA(listBox_, LB_GETTOPINDEX, 0, 0);
    const int rows = VisibleRows();
    return (count > rows || followFromStart_) && top + rows >= count;
}
