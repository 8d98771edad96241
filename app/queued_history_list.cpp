#include "app/queued_history_list.h"

#include <QMetaObject>

#include "app/history_view.h"

// Every call is posted to the same object from the one receiver thread, and Qt delivers
// posted events of one receiver in the order they were posted.

void QueuedHistoryList::DeleteLine(int index) {
    HistoryView* view = &view_;
    QMetaObject::invokeMethod(
        view, [view, index] { view->DeleteLine(index); }, Qt::QueuedConnection);
}

void QueuedHistoryList::InsertLine(int index, const std::string& text) {
    HistoryView* view = &view_;
    QMetaObject::invokeMethod(
        view, [view, index, text] { view->InsertLine(index, text); }, Qt::QueuedConnection);
}

void QueuedHistoryList::Repaint() {
    HistoryView* view = &view_;
    QMetaObject::invokeMethod(
        view, [view] { view->Repaint(); }, Qt::QueuedConnection);
}
