#include "qt_app/history_view_accessible.h"

#include <QAccessible>
#include <QPoint>
#include <QWidget>

#include "qt_app/history_row_accessible.h"
#include "qt_app/history_view.h"

HistoryViewAccessible::HistoryViewAccessible(HistoryView* view)
    : QAccessibleWidget(view, QAccessible::List) {}

HistoryViewAccessible::~HistoryViewAccessible() {
    for (const auto& [row, id] : rowIds_) {
        QAccessible::deleteAccessibleInterface(id);
    }
}

void HistoryViewAccessible::Install() {
    // Widgets are made on the UI thread only, so a plain flag is enough.
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(&HistoryViewAccessible::Factory);
    }
}

QAccessibleInterface* HistoryViewAccessible::Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("HistoryView")) {
        if (auto* view = qobject_cast<HistoryView*>(object)) {
            return new HistoryViewAccessible(view);
        }
    }
    return nullptr;
}

HistoryView* HistoryViewAccessible::View() const {
    return static_cast<HistoryView*>(widget());
}

int HistoryViewAccessible::childCount() const {
    return View()->LineCount();
}

QAccessibleInterface* HistoryViewAccessible::child(int index) const {
    if (index < 0 || index >= View()->LineCount()) {
        return nullptr;
    }
    auto found = rowIds_.find(index);
    if (found != rowIds_.end()) {
        return QAccessible::accessibleInterface(found->second);
    }
    auto* row = new HistoryRowAccessible(View(), index);
    // The registry owns the interface from here on.
    rowIds_.emplace(index, QAccessible::registerAccessibleInterface(row));
    return row;
}

int HistoryViewAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* row = dynamic_cast<const HistoryRowAccessible*>(child);
    if (row == nullptr || !row->isValid()) {
        return -1;
    }
    return row->Row();
}

QAccessibleInterface* HistoryViewAccessible::childAt(int x, int y) const {
    const QPoint local = View()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!View()->viewport()->rect().contains(local)) {
        return nullptr;
    }
    return child(View()->RowAt(local));
}

QString HistoryViewAccessible::text(QAccessible::Text t) const {
    QString value = QAccessibleWidget::text(t);
    if (t == QAccessible::Name && value.isEmpty()) {
        return QStringLiteral("History");
    }
    return value;
}
