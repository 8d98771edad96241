#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QRect>
#include <QString>
#include <string>

#include "history/history_list.h"
#include "qt_app/history_model.h"

// The history list. It paints only the rows in sight. Writes never select or take the
// focus, and never scroll a view the user left elsewhere: untouched, the view stays where
// it is; once the user has scrolled to the very end it follows the end as lines arrive,
// until they scroll up again. Lines dropped from the top leave the lines in sight in sight.
// Rows are WindowLayout::RowHeight high and never scroll sideways. The user can select one
// line at a time by clicking or with the arrow keys, and copy it (Ctrl+C). A line the row
// cuts shows its whole text as its tooltip; a line that is explained shows why there (after
// the text when both) and as its accessible description.
// Repaint() draws the rows in sight synchronously, once for all the writes that reached
// the UI thread together and at most once a frame; writes below the rows in sight draw
// nothing but the scroll bar.
class HistoryView : public QAbstractScrollArea, public HistoryList {
    Q_OBJECT

  public:
    static constexpr int FrameMs = 16;

    explicit HistoryView(QWidget* parent = nullptr);

    const HistoryModel& Model() const { return model_; }
    int LineCount() const { return model_.LineCount(); }
    QString LineText(int row) const;
    // What explains the line; empty when nothing does.
    QString LineWhy(int row) const;
    // What the pointer resting on the line shows: its whole text when the row cuts it, then
    // why it is there; empty when neither.
    QString LineTip(int row) const;
    // Puts the selected line on the clipboard, as CopiedLine says; nothing when none is.
    void CopySelectedLine() const;

    // The lines themselves: called on the UI thread only (QueuedHistoryList carries the
    // receiver's writes here).
    void InsertLine(int index, const std::string& text) override;
    void DeleteLine(int index) override;
    void DeleteFirstLines(int count) override;
    void ExplainLine(int index, const std::string& why) override;
    void Repaint() override;

    // Follows the end from now on, as if the user had scrolled there (--follow).
    void FollowTheEnd();

    int TopRow() const;
    // Rows that fit entirely in the viewport.
    int VisibleRows() const;
    int SelectedRow() const { return selectedRow_; }
    void SelectRow(int row);
    // -1 when the point (viewport coordinates) is below the last line.
    int RowAt(QPoint viewportPos) const;
    // In viewport coordinates; may lie outside the viewport.
    QRect RowRect(int row) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    QSize sizeHint() const override;

  private:
    void LineCountChanged();
    void UpdateScrollRange();
    void ScheduleFlush();
    void Flush();
    void ScrollTo(int row);
    // Moves the view without it counting as the user's scroll.
    void SetTopRow(int row);
    void Scrolled(int value);
    void NotifyAccessibility(int row, bool inserted);

    HistoryModel model_;
    int selectedRow_ = -1;
    // Writes mark the view dirty; a Repaint asks for it to be drawn at once. Both are
    // settled by one queued flush per batch.
    bool dirty_ = false;
    bool repaintRequested_ = false;
    bool flushPending_ = false;
    // The scroll bar's range waits for the next flush.
    bool rangeStale_ = false;
    // Since the last flush; invalid before the first.
    QElapsedTimer lastFlush_;
    bool following_ = false;
    // The view itself is moving the scroll bar, not the user.
    bool adjusting_ = false;
};
