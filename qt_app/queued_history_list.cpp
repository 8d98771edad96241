#include "qt_app/queued_history_list.h"

#include "program/app_log.h"
#include "qt_app/history_view.h"

QueuedHistoryList::QueuedHistoryList(HistoryView& view) : view_(view) {
    nextFrame_.setSingleShot(true);
    nextFrame_.setTimerType(Qt::PreciseTimer);
    nextFrame_.setInterval(HistoryView::FrameMs);
    connect(&nextFrame_, &QTimer::timeout, this, &QueuedHistoryList::Drain);
}

void QueuedHistoryList::RequestHandOver() {
    // Once this list is gone, a call still queued is dropped, not run.
    if (!QMetaObject::invokeMethod(this, &QueuedHistoryList::Drain, Qt::QueuedConnection)) {
        // The window would show nothing more, and the receiver block once far ahead.
        QUORVEL_WARNING(lcApp) << "history: cannot hand writes to the window";
    }
}

void QueuedHistoryList::Drain() {
    if (!ApplyTo(view_, true)) {
        return;  // the stream has stopped; the next write goes at once
    }
    nextFrame_.start();
}
