#include "win32_app/list_box_history_list.h"

#include <algorithm>
#include <string>
#include <vector>

ListBoxHistoryList::ListBoxHistoryList(HWND owner, HWND listBox)
    : owner_(owner), listBox_(listBox) {}

void ListBoxHistoryList::RequestHandOver() {
    // Fails only once the window is gone, when nothing is shown any more.
    PostMessageA(owner_, DrainMessage, 0, 0);
}

namespace {

// The list box's own lines, as the batch is applied to them on the UI thread.
class ListBoxLines : public HistoryList {
  public:
    explicit ListBoxLines(HWND listBox) : listBox_(listBox) {}

    void DeleteLine(int index) override { SendMessageA(listBox_, LB_DELETESTRING, index, 0); }
    void InsertLine(int index, const std::string& text) override {
        const LRESULT count = SendMessageA(listBox_, LB_GETCOUNT, 0, 0);
        // -1 appends; an index equal to the count means the same.
        const WPARAM at = index == count ? static_cast<WPARAM>(-1) : index;
        SendMessageA(listBox_, LB_INSERTSTRING, at, reinterpret_cast<LPARAM>(text.c_str()));
    }
    // Once for the whole batch, after it.
    void Repaint() override { repaint_ = true; }
    // The list box is rebuilt with the lines that stay, since deleting its first line one
    // at a time moves every line after it each time.
    void DeleteFirstLines(int count) override {
        const int total = static_cast<int>(SendMessageA(listBox_, LB_GETCOUNT, 0, 0));
        count = std::clamp(count, 0, total);
        const int top = static_cast<int>(SendMessageA(listBox_, LB_GETTOPINDEX, 0, 0));
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
        SendMessageA(listBox_, WM_SETREDRAW, FALSE, 0);
        SendMessageA(listBox_, LB_RESETCONTENT, 0, 0);
        SendMessageA(listBox_, LB_INITSTORAGE, kept.size(), bytes);
        for (const std::string& text : kept) {
            SendMessageA(listBox_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        // The user's selection stays on its line, and the lines in sight in sight (set last,
        // as selecting scrolls).
        if (selected >= count) {
            SendMessageA(listBox_, LB_SETCURSEL, selected - count, 0);
        }
        SendMessageA(listBox_, LB_SETTOPINDEX, std::max(0, top - count), 0);
        SendMessageA(listBox_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(listBox_, nullptr, TRUE);
    }
    // A standard list box has nowhere to show why.

    bool RepaintAsked() const { return repaint_; }

  private:
    HWND listBox_;
    bool repaint_ = false;
};

}  // namespace

void ListBoxHistoryList::Drain() {
    const bool follow = ShowsTheEnd();
    ListBoxLines lines(listBox_);
    if (!ApplyTo(lines, false)) {
        return;
    }
    if (follow) {
        const LRESULT count = SendMessageA(listBox_, LB_GETCOUNT, 0, 0);
        SendMessageA(listBox_, LB_SETTOPINDEX, count - VisibleRows(), 0);
    }
    if (lines.RepaintAsked()) {
        UpdateWindow(listBox_);
    }
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
    return count > rows && top + rows >= count;
}
