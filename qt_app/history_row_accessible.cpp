#include "qt_app/history_row_accessible.h"

#include <QAccessible>
#include <QWidget>

bool HistoryRowAccessible::isValid() const {
    return view_ != nullptr && row_ >= 0 && row_ < view_->LineCount();
}

QWindow* HistoryRowAccessible::window() const {
    if (view_ == nullptr) {
        return nullptr;
    }
    QAccessibleInterface* parentInterface = parent();
    return parentInterface != nullptr ? parentInterface->window() : nullptr;
}

QAccessibleInterface* HistoryRowAccessible::parent() const {
    return view_ != nullptr ? QAccessible::queryAccessibleInterface(view_.data()) : nullptr;
}

QString HistoryRowAccessible::text(QAccessible::Text t) const {
    if (!isValid()) {
        return {};
    }
    switch (t) {
        case QAccessible::Name:
            return view_->LineText(row_);
        case QAccessible::Description:
            return view_->LineWhy(row_);
        default:
            return {};
    }
}

QRect HistoryRowAccessible::rect() const {
    if (!isValid()) {
        return {};
    }
    const QRect local = view_->RowRect(row_);
    return QRect(view_->viewport()->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::State HistoryRowAccessible::state() const {
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.selectable = true;
    state.focusable = true;
    state.readOnly = true;
    const bool selected = view_->SelectedRow() == row_;
    state.selected = selected;
    state.focused = selected && view_->hasFocus();
    const int top = view_->TopRow();
    if (row_ < top || row_ >= top + view_->VisibleRows() || !view_->isVisible()) {
        state.invisible = true;
        state.offscreen = true;
    }
    return state;
}
