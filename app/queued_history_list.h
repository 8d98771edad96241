#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QTimer>
#include <mutex>
#include <string>
#include <vector>

#include "history/history_list.h"
#include "history/history_write.h"

class HistoryView;

// The receiver's side of the history: each call is recorded and carried to the view's (UI)
// thread by a queued call, and applied there in the order made. The caller never touches
// the widget and never waits for the UI.
//
// Writes travel in batches, one queued call per batch, and a stream of writes is carried
// over once a frame: the view draws no more often than that, so carrying each write
// alone would only wake the UI thread to apply lines nobody sees yet. The first write
// after a quiet frame goes at once, and the pacing stops with the stream: an idle
// receiver costs the UI thread nothing.
//
// The view must outlive every call, so the receiver is stopped and joined before the
// window goes.
class QueuedHistoryList : public QObject, public HistoryList {
    Q_OBJECT

  public:
    // Built on the view's thread, which runs the pacing timer.
    explicit QueuedHistoryList(HistoryView& view);

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;

  private:
    using Write = HistoryWrite;

    void Post(Write write);
    // On the UI thread: applies what is waiting, then holds the next batch for a frame.
    // Reached by name so that Qt itself builds the queued call: a call object built in
    // our code on the receiver's thread would be handed over through Qt's own locks,
    // which ThreadSanitizer cannot see.
    Q_INVOKABLE void Drain();

    HistoryView& view_;
    QMetaMethod drain_;
    QTimer nextFrame_;             // UI thread only
    std::vector<Write> applying_;  // UI thread only; keeps its capacity between batches

    std::mutex mutex_;
    std::vector<Write> pending_;  // guarded by mutex_
    // A drain is queued or a frame is running out: writes just join pending_.
    bool drainDue_ = false;  // guarded by mutex_
};
