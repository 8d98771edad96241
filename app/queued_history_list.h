#pragma once

#include <string>

#include "history/history_list.h"

class HistoryView;

// The receiver's side of the history: each call is posted to the view's (UI) thread and
// applied there in the order made. The caller never touches the widget and never waits
// for the UI. The view must outlive every call, so the receiver is stopped and joined
// before the window goes.
class QueuedHistoryList : public HistoryList {
  public:
    explicit QueuedHistoryList(HistoryView& view) : view_(view) {}

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;

  private:
    HistoryView& view_;
};
