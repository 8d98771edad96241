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

void QueuedHistoryList::RequestHandOver() {
    // Once this list is gone, a call still queued is dropped, not run.
    drain_.invoke(this, Qt::QueuedConnection);
}

void QueuedHistoryList::Drain() {
    if (!TakeWrites(applying_, true)) {
        return;  // the stream has stopped; the next write goes at once
    }
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
