#pragma once

#include <QMetaMethod>
#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "history/history_list.h"

class HistoryView;

// The receiver's side of the history: each call is recorded and carried to the view's (UI)
// thread by a queued call, and applied there in the order made. The caller never touches
// the widget and never waits for the UI. Writes travel in batches, at most one a frame
// while they stream; the first write after a quiet frame goes at once, and an idle
// receiver costs the UI thread nothing. A writer far ahead of the UI (a flood of bytes)
// waits for it, so memory stays bounded and the UI keeps up with its own events; once
// StopWaiting is called it never waits again. The view must outlive every call, so the
// receiver is stopped and joined before the window goes.
class QueuedHistoryList : public QObject, public HistoryList {
    Q_OBJECT

  public:
    // Built on the view's thread, which runs the pacing timer.
    explicit QueuedHistoryList(HistoryView& view);

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;
    void DeleteFirstLines(int count) override;
    void ExplainLine(int index, const std::string& why) override;
    void StopWaiting() override;

    // Writes the UI may have waiting before a writer waits for it.
    static constexpr std::size_t MaxPending = 8192;

  private:
    struct Write {
        enum class Kind { Delete, Insert, Repaint, DeleteFirst, Explain };
        Kind kind;
        int index;
        std::string text;
    };

    void Post(Write write);
    // On the UI thread: applies what is waiting, then holds the next batch for a frame.
    // Invoked by name, so Qt builds the queued call itself (see docs/ARCHITECTURE.md).
    Q_INVOKABLE void Drain();

    HistoryView& view_;
    QMetaMethod drain_;
    QTimer nextFrame_;             // UI thread only
    std::vector<Write> applying_;  // UI thread only; keeps its capacity between batches

    std::mutex mutex_;
    std::condition_variable room_;
    std::vector<Write> pending_;  // guarded by mutex_
    bool neverWait_ = false;      // guarded by mutex_
    // A drain is queued or a frame is running out: writes just join pending_.
    bool drainDue_ = false;  // guarded by mutex_
};
