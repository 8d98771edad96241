#include "app/queued_history_list.h"

#include <utility>

#include "app/history_view.h"

QueuedHistoryList::QueuedHistoryList(HistoryView& view)
    : view_(view), drain_(staticMetaObject.method(staticMetaObject.indexOfMethod("Drain()"))) {
    nextFrame_.setSingleShot(true);
    nextFrame_.setTimerType(Qt::PreciseTimer);
    nextFrame_.setInterval(HistoryView::FrameMs);
    connect(&nextFrame_, &QTimer::timeout, this, &QueuedHistoryList::Drain);
}

void QueuedHistoryList::DeleteLine(int index) {
    Post({Write::Kind::Delete, index, {}});
}

void QueuedHistoryList::InsertLine(int index, const std::string& text) {
    Post({Write::Kind::Insert, index, text});
}

void QueuedHistoryList::Repaint() {
    Post({Write::Kind::Repaint, 0, {}});
}

void QueuedHistoryList::DeleteFirstLines(int count) {
    Post({Write::Kind::DeleteFirst, count, {}});
}

void QueuedHistoryList::ExplainLine(int index, const std::string& why) {
    Post({Write::Kind::Explain, index, why});
}

void QueuedHistoryList::StopWaiting() {
    {
        std::lock_guard lock(mutex_);
        neverWait_ = true;
    }
    room_.notify_all();
}

void QueuedHistoryList::Post(Write write) {
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return pending_.size() < MaxPending || neverWait_; });
        pending_.push_back(std::move(write));
        if (std::exchange(drainDue_, true)) {
            return;
        }
    }
    // Once this list is gone, a call still queued is dropped, not run.
    drain_.invoke(this, Qt::QueuedConnection);
}

void QueuedHistoryList::Drain() {
    {
        std::lock_guard lock(mutex_);
        if (pending_.empty()) {
            // The stream has stopped; the next write goes at once.
            drainDue_ = false;
            return;
        }
        applying_.swap(pending_);
    }
    room_.notify_all();
    for (const Write& write : applying_) {
        switch (write.kind) {
            case Write::Kind::Delete:
                view_.DeleteLine(write.index);
                break;
            case Write::Kind::Insert:
                view_.InsertLine(write.index, write.text);
                break;
            case Write::Kind::Repaint:
                view_.Repaint();
                break;
            case Write::Kind::DeleteFirst:
                view_.DeleteFirstLines(write.index);
                break;
            case Write::Kind::Explain:
                view_.ExplainLine(write.index, write.text);
                break;
        }
    }
    applying_.clear();
    nextFrame_.start();
}
