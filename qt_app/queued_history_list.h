#pragma once

#include <QObject>
#include <QTimer>

#include "history/batched_history_list.h"

class HistoryView;

// The receiver's side of the window's history: writes are batched (see
// BatchedHistoryList) and carried to the view's (UI) thread by a queued call. In a stream
// the batches go once a frame: the view draws no more often than that. The first write
// after a quiet frame goes at once, and an idle receiver costs the UI thread nothing. The
// view must outlive every call (ReceiverHost ends the receiver before this list goes).
class QueuedHistoryList : public QObject, public BatchedHistoryList {
  public:
    // Built on the view's thread, which runs the pacing timer.
    explicit QueuedHistoryList(HistoryView& view);

  protected:
    void RequestHandOver() override;

  private:
    // On the UI thread: applies what is waiting, then holds the next batch for a frame.
    void Drain();

    HistoryView& view_;
    QTimer nextFrame_;  // UI thread only
};
