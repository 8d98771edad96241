#include "qt_app/history_view.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <algorithm>
#include <utility>

#include "program/app_log.h"
#include "program/line_copy.h"
#include "program/window_layout.h"
#include "qt_app/history_view_accessible.h"

namespace {

// Space between the frame and a line's text, as the classic list box leaves it.
constexpr int TextMargin = 2;

}  // namespace

HistoryView::HistoryView(QWidget* parent) : QAbstractScrollArea(parent) {
    HistoryViewAccessible::Install();
    // A fixed two-pixel sunken frame whatever the style, so the viewport holds exactly the
    // rows the window's layout was drawn for.
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &HistoryView::Scrolled);
    UpdateScrollRange();
}

QString HistoryView::LineText(int row) const {
    if (row < 0 || row >= model_.LineCount()) {
        return {};
    }
    // Lines are 8-bit text; Latin-1 shows every byte as some character.
    return QString::fromLatin1(model_.Line(row));
}

QString HistoryView::LineWhy(int row) const {
    if (row < 0 || row >= model_.LineCount()) {
        return {};
    }
    return QString::fromLocal8Bit(model_.Why(row));
}

QString HistoryView::LineTip(int row) const {
    if (row < 0 || row >= model_.LineCount()) {
        return {};
    }
    QStringList tip;
    const QString text = LineText(row);
    if (viewport()->fontMetrics().horizontalAdvance(text) > viewport()->width() - 2 * TextMargin) {
        tip << text;
    }
    const QString why = LineWhy(row);
    if (!why.isEmpty()) {
        tip << why;
    }
    return tip.join(QLatin1Char('\n'));
}

void HistoryView::CopySelectedLine() const {
    if (selectedRow_ >= 0 && selectedRow_ < model_.LineCount()) {
        QGuiApplication::clipboard()->setText(
            QString::fromLatin1(CopiedLine(model_.Line(selectedRow_))));
    }
}

void HistoryView::InsertLine(int index, const std::string& text) {
    if (!model_.InsertLine(index, text)) {
        QUORVEL_WARNING(lcApp) << "history: cannot insert at " << index << " of "
                               << model_.LineCount();
        return;
    }
    if (selectedRow_ >= index) {
        ++selectedRow_;
    }
    LineCountChanged();
    // A line below the visible rows changes nothing on screen.
    if (index <= TopRow() + VisibleRows()) {
        dirty_ = true;
        ScheduleFlush();
    }
    NotifyAccessibility(index, true);
}

void HistoryView::DeleteLine(int index) {
    if (!model_.DeleteLine(index)) {
        QUORVEL_WARNING(lcApp) << "history: cannot delete " << index << " of "
                               << model_.LineCount();
        return;
    }
    if (selectedRow_ == index) {
        selectedRow_ = -1;
    } else if (selectedRow_ > index) {
        --selectedRow_;
    }
    LineCountChanged();
    if (index <= TopRow() + VisibleRows()) {
        dirty_ = true;
        ScheduleFlush();
    }
    NotifyAccessibility(index, false);
}

void HistoryView::DeleteFirstLines(int count) {
    if (!model_.DeleteFirstLines(count)) {
        QUORVEL_WARNING(lcApp) << "history: cannot delete " << count << " of "
                               << model_.LineCount();
        return;
    }
    selectedRow_ = selectedRow_ >= count ? selectedRow_ - count : -1;
    const int top = std::max(0, TopRow() - count);
    UpdateScrollRange();
    if (!following_) {
        SetTopRow(top);
    }
    dirty_ = true;
    ScheduleFlush();
    NotifyAccessibility(0, false);
}

void HistoryView::ExplainLine(int index, const std::string& why) {
    if (!model_.ExplainLine(index, why)) {
        QUORVEL_WARNING(lcApp) << "history: cannot explain " << index << " of "
                               << model_.LineCount();
    }
}

void HistoryView::Repaint() {
    repaintRequested_ = true;
    ScheduleFlush();
}

void HistoryView::ScheduleFlush() {
    if (flushPending_) {
        return;
    }
    flushPending_ = true;
    // Writes paced by the sender arrive a frame after the last flush, give or take the
    // timer's rounding: a frame due within a millisecond is drawn now, not after a second
    // wake-up for the remainder.
    const qint64 wait = lastFlush_.isValid() ? FrameMs - lastFlush_.elapsed() : 0;
    if (wait > 1) {
        QTimer::singleShot(static_cast<int>(wait), Qt::PreciseTimer, this, [this] { Flush(); });
        return;
    }
    // Queued behind every write already waiting, so one paint shows them all.
    QMetaObject::invokeMethod(
        this, [this] { Flush(); }, Qt::QueuedConnection);
}

void HistoryView::LineCountChanged() {
    // In a stream of writes the scroll bar follows once a frame, with the paint: moved at
    // every write, it would be redrawn at every write.
    if (lastFlush_.isValid() && lastFlush_.elapsed() < FrameMs) {
        rangeStale_ = true;
        ScheduleFlush();
    } else {
        UpdateScrollRange();
    }
}

void HistoryView::Flush() {
    flushPending_ = false;
    lastFlush_.start();
    if (std::exchange(rangeStale_, false)) {
        UpdateScrollRange();
    }
    const bool now = std::exchange(repaintRequested_, false);
    // Writes below the rows in sight leave the picture as it is: drawing it again would
    // only cost a stream into a long history a full paint a frame.
    if (!std::exchange(dirty_, false)) {
        return;
    }
    // Asked for: drawn at once. Otherwise a write without a repaint shows at the next
    // ordinary redraw.
    if (now) {
        viewport()->repaint();
    } else {
        viewport()->update();
    }
}

void HistoryView::SelectRow(int row) {
    if (row < -1 || row >= model_.LineCount() || row == selectedRow_) {
        return;
    }
    selectedRow_ = row;
    viewport()->update();
    if (row >= 0 && QAccessible::isActive()) {
        QAccessibleEvent selection(this, QAccessible::Selection);
        selection.setChild(row);
        QAccessible::updateAccessibility(&selection);
        if (hasFocus()) {
            QAccessibleEvent focus(this, QAccessible::Focus);
            focus.setChild(row);
            QAccessible::updateAccessibility(&focus);
        }
    }
}

int HistoryView::RowAt(QPoint viewportPos) const {
    if (viewportPos.y() < 0) {
        return -1;
    }
    const int row = TopRow() + viewportPos.y() / WindowLayout::RowHeight;
    return row < model_.LineCount() ? row : -1;
}

QRect HistoryView::RowRect(int row) const {
    return QRect(0, (row - TopRow()) * WindowLayout::RowHeight, viewport()->width(),
                 WindowLayout::RowHeight);
}

void HistoryView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    painter.fillRect(area, palette().color(QPalette::Base));

    const int top = TopRow();
    const int first = top + std::max(0, area.top()) / WindowLayout::RowHeight;
    const int last =
        std::min(model_.LineCount() - 1, top + area.bottom() / WindowLayout::RowHeight);
    for (int row = first; row <= last; ++row) {
        const QRect rect = RowRect(row);
        const bool selected = row == selectedRow_;
        if (selected) {
            painter.fillRect(rect, palette().color(QPalette::Highlight));
        }
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(rect.adjusted(TextMargin, 0, -TextMargin, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, LineText(row));
        if (selected && hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = rect;
            option.backgroundColor = palette().color(QPalette::Highlight);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
}

void HistoryView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void HistoryView::mousePressEvent(QMouseEvent* event) {
    const int row = RowAt(event->position().toPoint());
    if (row >= 0) {
        SelectRow(row);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void HistoryView::keyPressEvent(QKeyEvent* event) {
    // Keys move within the lines there are now, not those of the last frame.
    if (std::exchange(rangeStale_, false)) {
        UpdateScrollRange();
    }
    if (event->matches(QKeySequence::Copy)) {
        CopySelectedLine();
        event->accept();
        return;
    }
    if (model_.LineCount() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int last = model_.LineCount() - 1;
    const int page = std::max(1, VisibleRows() - 1);
    int row = selectedRow_;
    switch (event->key()) {
        case Qt::Key_Up:
            row = row < 0 ? TopRow() : std::max(0, row - 1);
            break;
        case Qt::Key_Down:
            row = row < 0 ? TopRow() : std::min(last, row + 1);
            break;
        case Qt::Key_PageUp:
            row = std::max(0, (row < 0 ? TopRow() : row) - page);
            break;
        case Qt::Key_PageDown:
            row = std::min(last, (row < 0 ? TopRow() : row) + page);
            break;
        case Qt::Key_Home:
            row = 0;
            break;
        case Qt::Key_End:
            row = last;
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    SelectRow(row);
    ScrollTo(row);
    event->accept();
}

void HistoryView::scrollContentsBy(int, int) {
    viewport()->update();
}

bool HistoryView::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QAbstractScrollArea::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const int row = RowAt(help->pos());
    const QString tip = LineTip(row);
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        // Plain text, whatever it holds: a line is never markup.
        QToolTip::showText(help->globalPos(),
                           Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip) : tip,
                           viewport(), RowRect(row));
    }
    return true;
}

QSize HistoryView::sizeHint() const {
    return {161, 329};
}

void HistoryView::NotifyAccessibility(int row, bool inserted) {
    if (!QAccessible::isActive()) {
        return;
    }
    if (inserted) {
        QAccessibleEvent created(this, QAccessible::ObjectCreated);
        created.setChild(row);
        QAccessible::updateAccessibility(&created);
    } else {
        QAccessibleEvent reorder(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
    }
}
