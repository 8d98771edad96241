#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "history/batched_history_list.h"

// The history in a standard list box. The receiver's writes are batched (see
// BatchedHistoryList) and carried to the UI thread by one posted DrainMessage per batch;
// the owner window's procedure hands that message to Drain, which applies the batch in the
// order the calls were made. The receiver never sends the UI thread a message.
//
// No write selects a line, takes the focus or scrolls, with one exception: while the user
// has the list scrolled to its very end, it follows the end as lines arrive, until they
// scroll up again. A batch is applied in slices of about SliceTime, each with the list
// box's redraw off and drawn once after it, the rest in a later DrainMessage, so a flood
// of writes never starves the window of time to answer. Repaint
// redraws the list box at once; the writes before it only mark it for the next ordinary
// redraw. The owner window and list box must outlive every
// Drain; the receiver is stopped and joined before the list itself goes.
//
// The pointer resting on a line shows, in a tooltip that follows it, the line's whole text
// when the list box cuts it, then its reason when it is explained (ExplainLine: "Err",
// "COM READ ERROR!").
class ListBoxHistoryList : public BatchedHistoryList {
  public:
    static constexpr UINT DrainMessage = WM_APP + 1;
    // One Drain applies writes for about this long, SliceWrites at a time, then lets the
    // window answer before the rest.
    static constexpr std::chrono::milliseconds SliceTime{5};
    static constexpr std::size_t SliceWrites = 64;

    ListBoxHistoryList(HWND owner, HWND listBox);
    ~ListBoxHistoryList() override;
    ListBoxHistoryList(const ListBoxHistoryList&) = delete;
    ListBoxHistoryList& operator=(const ListBoxHistoryList&) = delete;

    // On the UI thread, for DrainMessage.
    void Drain();
    // On the UI thread: the list follows the end from the start, until the user scrolls up
    // (--follow).
    void FollowTheEnd() { followFromStart_ = true; }

    // The text of the list box's line at row; empty when there is none.
    static std::wstring LineText(HWND listBox, int row);

  protected:
    void RequestHandOver() override;

  private:
    // Rows the list box shows whole.
    int VisibleRows() const;
    // The last line is in sight, and either the list is longer than the box (the user
    // scrolled there, since no write scrolls) or the list follows the end from the start.
    bool ShowsTheEnd() const;

    static LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The pointer is at point (list box client coordinates): shows the line's tip, or
    // hides the tooltip when it has none.
    void TrackPointer(POINT point);
    void HideTip();
    // What the line at row shows in the tooltip; empty for nothing.
    std::wstring TipOf(int row) const;
    // Whether the line's row is too narrow for text.
    bool Cuts(int row, const std::wstring& text) const;

    HWND owner_;
    HWND listBox_;
    HWND tip_ = nullptr;
    WNDPROC listBoxProc_ = nullptr;
    // One per list box line, empty for a line without a reason; on the UI thread only.
    std::deque<std::string> reasons_;
    // The row whose tip was last settled (-1: below the lines), none once lines or the
    // scroll changed; whether it has one, shown.
    std::optional<int> tipRow_;
    bool tipShown_ = false;
    bool followFromStart_ = false;
};
