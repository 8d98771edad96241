// The history view's scrolling: which rows are in sight, and following the end.
#include <QScrollBar>
#include <algorithm>
#include <utility>

#include "program/window_layout.h"
#include "qt_app/history_view.h"

void HistoryView::FollowTheEnd() {
    following_ = true;
    UpdateScrollRange();
}

int HistoryView::TopRow() const {
    return verticalScrollBar()->value();
}

int HistoryView::VisibleRows() const {
    return viewport()->height() / WindowLayout::RowHeight;
}

void HistoryView::UpdateScrollRange() {
    const int visible = VisibleRows();
    QScrollBar* bar = verticalScrollBar();
    const bool wasAdjusting = std::exchange(adjusting_, true);
    bar->setPageStep(std::max(1, visible));
    bar->setRange(0, std::max(0, model_.LineCount() - visible));
    if (following_) {
        bar->setValue(bar->maximum());
    }
    adjusting_ = wasAdjusting;
}

void HistoryView::SetTopRow(int row) {
    const bool wasAdjusting = std::exchange(adjusting_, true);
    verticalScrollBar()->setValue(row);
    adjusting_ = wasAdjusting;
}

void HistoryView::Scrolled(int value) {
    if (!adjusting_) {
        // Only the user's own scroll to the very end starts following.
        const int end = verticalScrollBar()->maximum();
        following_ = end > 0 && value == end;
    }
}

void HistoryView::ScrollTo(int row) {
    const int top = TopRow();
    const int visible = std::max(1, VisibleRows());
    if (row < top) {
        verticalScrollBar()->setValue(row);
    } else if (row >= top + visible) {
        verticalScrollBar()->setValue(row - visible + 1);
    }
}
