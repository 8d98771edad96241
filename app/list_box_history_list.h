#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "history/history_list.h"

// The history in a standard list box. The receiver's calls are recorded under a short lock
// and carried to the UI thread by one posted DrainMessage per batch; the owner window's
// procedure hands that message to Drain, which applies the batch in the order the calls
// were made. The receiver never sends the UI thread a message and never waits for it.
//
// No write selects a line, takes the focus or scrolls, with one exception: while the user
// has the list scrolled to its very end, it follows the end as lines arrive, until they
// scroll up again. Repaint redraws the list box at once; the writes before it only mark
// it for the next ordinary redraw. The owner window and list box must outlive every
// Drain; the receiver is stopped and joined before the list itself goes.
class ListBoxHistoryList : public HistoryList {
  public:
    static constexpr UINT DrainMessage = WM_APP + 1;

    ListBoxHistoryList(HWND owner, HWND listBox);

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;
    // One write however many lines go; the list box is rebuilt with the lines that stay,
    // since deleting its first line one at a time moves every line after it each time.
    void DeleteFirstLines(int count) override;

    // On the UI thread, for DrainMessage.
    void Drain();

  private:
    struct Write {
        enum class Kind { Delete, Insert, Repaint, DeleteFirst };
        Kind kind;
        int index;
        std::string text;
    };

    void Post(Write write);
    void DropFirstLines(int count);
    // Rows the list box shows whole.
    int VisibleRows() const;
    // The list is longer than the box and its last line is in sight: the user scrolled
    // there, since no write scrolls.
    bool ShowsTheEnd() const;

    HWND owner_;
    HWND listBox_;
    std::vector<Write> applying_;  // UI thread only

    std::mutex mutex_;
    std::vector<Write> pending_;  // guarded by mutex_
    bool drainPosted_ = false;    // guarded by mutex_
};
