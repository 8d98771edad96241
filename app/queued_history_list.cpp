#include "app/queued_history_list.h"

#include <QByteArray>
#include <QMetaObject>

#include "app/history_view.h"

// Every call is posted to the same object from the one receiver thread, and Qt delivers
// the posted calls of one object in the order they were posted. The calls go by name with
// their arguments copied by Qt itself, so nothing of ours is shared between the threads.

void QueuedHistoryList::DeleteLine(int index) {
    QMetaObject::invokeMethod(&view_, "DeleteLine", Qt::QueuedConnection, Q_ARG(int, index));
}

void QueuedHistoryList::InsertLine(int index, const std::string& text) {
    QMetaObject::invokeMethod(&view_, "InsertPostedLine", Qt::QueuedConnection, Q_ARG(int, index),
                              Q_ARG(QByteArray, QByteArray::fromStdString(text)));
}

void QueuedHistoryList::Repaint() {
    QMetaObject::invokeMethod(&view_, "Repaint", Qt::QueuedConnection);
}
