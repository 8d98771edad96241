#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QTimer>
#include <vector>

#include "history/batched_history_list.h"

class HistoryView;

// The receiver's side of the window's history: writes are batched (see
// BatchedHistoryList) and carried to the view's (UI) thread by a queued call. In a stream
// the batches go once a frame: the view draws no more often than that. The first write
// after a quiet frame goes at once, and an idle receiver costs the UI thread nothing. The
// view must outlive every call, so the receiver is stopped and joined before the window
// goes.
class QueuedHistoryList : public QObject, public BatchedHistoryList {
    Q_OBJECT

  public:
    // Built on the view's thread, which runs the pacing timer.
    explicit QueuedHistoryList(HistoryView& view);

  protected:
    void RequestHandOver() override;

  private:
    // On the UI thread: applies what is waiting, then holds the next batch for a frame.
    // Invoked by name, so Qt builds the queued call itself (see docs/ARCHITECTURE.md).
    Q_INVOKABLE void Drain();

    HistoryView& view_;
    QMetaMethod drain_;
    QTimer nextFrame_;             // UI thread only
    std::vector<Write> applying_;  // UI thread only; keeps its capacity between batches
};
