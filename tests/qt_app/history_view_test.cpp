#include "qt_app/history_view.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleInterface>
#include <QHelpEvent>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <cstdint>
#include <string>
#include <vector>

#include "history/history_log.h"
#include "qt_app/history_model.h"
#include "qt_app/queued_history_list.h"
#include "tests/qt_app/qt_environment.h"

namespace {

std::vector<std::string> Lines(const HistoryModel& model) {
    std::vector<std::string> lines;
    for (int row = 0; row < model.LineCount(); ++row) {
        lines.push_back(model.Line(row));
    }
    return lines;
}

// Lines go in and out by index; an index outside the list changes nothing.
TEST(HistoryModel, InsertsAndDeletesByIndexWithinTheList) {
    HistoryModel model;
    EXPECT_TRUE(model.InsertLine(0, "b"));
    EXPECT_TRUE(model.InsertLine(0, "a"));
    EXPECT_TRUE(model.InsertLine(2, "d"));
    EXPECT_TRUE(model.InsertLine(2, "c"));
    EXPECT_EQ(Lines(model), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(model.DeleteLine(0));
    EXPECT_TRUE(model.DeleteLine(2));
    for (int index : {-1, 3, 100}) {
        EXPECT_FALSE(model.InsertLine(index, "x")) << index;
    }
    for (int index : {-1, 2, 100}) {
        EXPECT_FALSE(model.DeleteLine(index)) << index;
    }
    EXPECT_EQ(Lines(model), (std::vector<std::string>{"b", "c"}));
}

class HistoryViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        view_.setGeometry(8, 8, 161, 329);
        view_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view_));
    }

    // What the pointer resting on the row shows; empty for nothing.
    QString Hover(int row) {
        const QPoint at = view_.RowRect(row).center();
        QHelpEvent event(QEvent::ToolTip, at, view_.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view_.viewport(), &event);
        // Ignored when there is nothing to show; the last tip takes a while to go.
        return event.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
    }

    void Append(int count, const std::string& prefix = "line ") {
        for (int i = 0; i < count; ++i) {
            view_.InsertLine(view_.LineCount(), prefix + std::to_string(i));
        }
    }

    HistoryView view_;
};

// Appends neither scroll nor select: the view stays at the top, or where the user put it.
TEST_F(HistoryViewTest, AppendsLeaveTheScrollAndSelectionAlone) {
    Append(30);
    view_.Repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(view_.TopRow(), 0);
    EXPECT_EQ(view_.SelectedRow(), -1);
    // The extra lines are there to scroll to, below the 25 in sight.
    EXPECT_EQ(view_.verticalScrollBar()->maximum(), 5);
    EXPECT_EQ(view_.RowAt(QPoint(5, 1)), 0);

    view_.verticalScrollBar()->setValue(3);
    view_.SelectRow(9);
    Append(40, "more ");
    EXPECT_EQ(view_.TopRow(), 3);
    EXPECT_EQ(view_.SelectedRow(), 9);
    EXPECT_EQ(view_.LineText(9), QStringLiteral("line 9"));
}

// Right after a paint, writes may leave the scroll bar to the next frame; it must catch up,
// and keys must see every line written so far, whichever way the writes went. A view the
// user took to the very end follows the end, until they scroll up.
TEST_F(HistoryViewTest, AViewAtTheVeryEndFollowsItUntilScrolledUp) {
    Append(40);
    view_.Repaint();
    QCoreApplication::processEvents();
    Append(40, "more ");
    view_.setFocus();
    QTest::keyClick(&view_, Qt::Key_End);
    EXPECT_EQ(view_.SelectedRow(), 79);
    EXPECT_EQ(view_.TopRow(), 55);

    Append(20, "last ");
    EXPECT_TRUE(ProcessEventsUntil([&] { return view_.verticalScrollBar()->maximum() == 75; }));
    EXPECT_EQ(view_.TopRow(), 75);

    view_.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    Append(10, "after ");
    EXPECT_TRUE(ProcessEventsUntil([&] { return view_.verticalScrollBar()->maximum() == 85; }));
    EXPECT_EQ(view_.TopRow(), 74);
}

// --follow: the end is followed from the first line, until the user scrolls up.
TEST_F(HistoryViewTest, FollowingFromTheStartKeepsTheEndInSightUntilScrolledUp) {
    view_.FollowTheEnd();
    Append(40);
    EXPECT_TRUE(ProcessEventsUntil([&] { return view_.verticalScrollBar()->maximum() == 15; }));
    EXPECT_EQ(view_.TopRow(), 15);

    view_.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    Append(10, "after ");
    EXPECT_TRUE(ProcessEventsUntil([&] { return view_.verticalScrollBar()->maximum() == 25; }));
    EXPECT_EQ(view_.TopRow(), 14);
}

// Lines dropped from the top leave the lines the user looks at in sight.
TEST_F(HistoryViewTest, DroppingTheOldestLinesKeepsTheRowsInSight) {
    Append(100);
    view_.verticalScrollBar()->setValue(60);
    view_.SelectRow(70);
    view_.DeleteFirstLines(50);
    EXPECT_EQ(view_.LineCount(), 50);
    EXPECT_EQ(view_.TopRow(), 10);
    EXPECT_EQ(view_.LineText(view_.TopRow()), QStringLiteral("line 60"));
    EXPECT_EQ(view_.SelectedRow(), 20);
}

TEST_F(HistoryViewTest, SelectionFollowsItsLineWhenLinesAboveChange) {
    Append(5);
    view_.SelectRow(3);
    view_.DeleteLine(0);
    EXPECT_EQ(view_.SelectedRow(), 2);
    view_.InsertLine(1, "new");
    EXPECT_EQ(view_.SelectedRow(), 3);
    EXPECT_EQ(view_.LineText(3), QStringLiteral("line 3"));
    view_.DeleteLine(3);
    EXPECT_EQ(view_.SelectedRow(), -1);
}

TEST_F(HistoryViewTest, ClickSelectsOneLine) {
    Append(5);
    QTest::mouseClick(view_.viewport(), Qt::LeftButton, {}, QPoint(20, 2 * 13 + 6));
    EXPECT_EQ(view_.SelectedRow(), 2);
    QTest::mouseClick(view_.viewport(), Qt::LeftButton, {}, QPoint(20, 4 * 13 + 6));
    EXPECT_EQ(view_.SelectedRow(), 4);
    // Below the last line there is nothing to select; the selection stays.
    QTest::mouseClick(view_.viewport(), Qt::LeftButton, {}, QPoint(20, 10 * 13 + 6));
    EXPECT_EQ(view_.SelectedRow(), 4);
}

TEST_F(HistoryViewTest, ArrowKeysMoveTheSelectionAndKeepItInSight) {
    Append(40);
    view_.setFocus();
    QTest::keyClick(&view_, Qt::Key_Down);
    EXPECT_EQ(view_.SelectedRow(), 0);
    QTest::keyClick(&view_, Qt::Key_Down);
    EXPECT_EQ(view_.SelectedRow(), 1);
    QTest::keyClick(&view_, Qt::Key_Up);
    EXPECT_EQ(view_.SelectedRow(), 0);
    QTest::keyClick(&view_, Qt::Key_End);
    EXPECT_EQ(view_.SelectedRow(), 39);
    EXPECT_EQ(view_.TopRow(), 15);
    QTest::keyClick(&view_, Qt::Key_Home);
    EXPECT_EQ(view_.SelectedRow(), 0);
    EXPECT_EQ(view_.TopRow(), 0);
}

TEST_F(HistoryViewTest, PaintsLinesAndTheSelection) {
    Append(3);
    view_.SelectRow(1);
    const QImage image = view_.viewport()->grab().toImage();
    const QColor base = view_.palette().color(QPalette::Base);
    const QColor highlight = view_.palette().color(QPalette::Highlight);
    const int right = image.width() - 1;

    EXPECT_EQ(image.pixelColor(right, 1 * 13 + 6), highlight);
    EXPECT_EQ(image.pixelColor(right, 0 * 13 + 6), base);
    EXPECT_EQ(image.pixelColor(right, 5 * 13 + 6), base);
    // Row 0 carries its text somewhere: not every pixel is the background.
    bool inked = false;
    for (int x = 0; x < image.width() && !inked; ++x) {
        for (int y = 0; y < 13 && !inked; ++y) {
            inked = image.pixelColor(x, y) != base;
        }
    }
    EXPECT_TRUE(inked);
}

// Counts the view's paints.
class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return false;
    }
};

TEST_F(HistoryViewTest, WritesArrivingTogetherArePaintedOnce) {
    // Enough lines for the scroll bar, whose arrival would repaint the view anyway.
    Append(30);
    ASSERT_TRUE(ProcessEventsUntil([&] { return view_.verticalScrollBar()->isVisible(); }));
    QCoreApplication::processEvents();
    PaintCounter counter;
    view_.viewport()->installEventFilter(&counter);
    QueuedHistoryList list(view_);
    for (int i = 0; i < 100; ++i) {
        list.DeleteLine(0);
        list.InsertLine(29, "line " + std::to_string(i));
        list.Repaint();
    }
    ASSERT_TRUE(ProcessEventsUntil([&] { return counter.paints > 0; }));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    EXPECT_EQ(view_.LineCount(), 30);
    EXPECT_EQ(view_.LineText(29), QStringLiteral("line 99"));
    EXPECT_EQ(counter.paints, 1);
    view_.viewport()->removeEventFilter(&counter);
}

TEST_F(HistoryViewTest, WritesBelowTheRowsInSightPaintNothing) {
    Append(30);
    ASSERT_TRUE(ProcessEventsUntil([&] { return view_.verticalScrollBar()->isVisible(); }));
    QCoreApplication::processEvents();
    const int lastInSight = view_.TopRow() + view_.VisibleRows() - 1;
    PaintCounter counter;
    view_.viewport()->installEventFilter(&counter);

    // Rows out of sight, then one in sight: only the second may draw the view.
    view_.InsertLine(view_.LineCount(), "below");
    view_.Repaint();
    view_.DeleteLine(view_.LineCount() - 1);
    view_.Repaint();
    // Nothing to wait for but the end of the frames any paint would come in.
    QTest::qWait(3 * HistoryView::FrameMs);
    EXPECT_EQ(counter.paints, 0);

    view_.DeleteLine(lastInSight);
    view_.InsertLine(lastInSight, "in sight");
    view_.Repaint();
    ASSERT_TRUE(ProcessEventsUntil([&] { return counter.paints > 0; }));
    view_.viewport()->removeEventFilter(&counter);
}

TEST_F(HistoryViewTest, ScreenReadersSeeTheLinesAsAList) {
    Append(30);
    view_.SelectRow(2);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view_);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), view_.LineCount());

    for (int row = 0; row < list->childCount(); ++row) {
        QAccessibleInterface* item = list->child(row);
        ASSERT_NE(item, nullptr) << row;
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), view_.LineText(row)) << row;
        EXPECT_EQ(item->parent(), list);
        EXPECT_EQ(list->indexOfChild(item), row);
        EXPECT_EQ(item->state().selected, row == 2) << row;
        // Rows past the 25 in sight are reported off screen.
        EXPECT_EQ(item->state().offscreen, row >= 25) << row;
    }

    // Asking twice gives the same row, and the row under a point is found.
    EXPECT_EQ(list->child(4), list->child(4));
    const QPoint centre = list->child(4)->rect().center();
    EXPECT_EQ(list->childAt(centre.x(), centre.y()), list->child(4));
    EXPECT_TRUE(view_.viewport()->rect().contains(
        view_.viewport()->mapFromGlobal(list->child(4)->rect().topLeft())));

    // Lines written later are read too.
    view_.DeleteLine(29);
    view_.InsertLine(29, "rewritten");
    EXPECT_EQ(list->child(29)->text(QAccessible::Name), QStringLiteral("rewritten"));
    EXPECT_EQ(list->childCount(), 30);
}

// An "Err" line says why as its tooltip and to screen readers; other lines say nothing.
TEST_F(HistoryViewTest, AnExplainedLineSaysWhyOnHoverAndToScreenReaders) {
    Append(3);
    view_.ExplainLine(1, "cannot open serial port /dev/ttyUSB0");
    EXPECT_EQ(Hover(0), QString());
    EXPECT_EQ(Hover(1), QStringLiteral("cannot open serial port /dev/ttyUSB0"));

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view_);
    EXPECT_EQ(list->child(1)->text(QAccessible::Description),
              QStringLiteral("cannot open serial port /dev/ttyUSB0"));
    EXPECT_EQ(list->child(2)->text(QAccessible::Description), QString());
}

// An action that failed after later lines were written explains its own press's line,
// found by its number, as the receiver writes through HistoryLog.
TEST_F(HistoryViewTest, ALineExplainedLateSaysWhyOnHover) {
    HistoryLog log(view_);
    log.AppendLine("PLAY!");
    const std::uint64_t press = log.LineNumber();
    log.AppendLine("Waiting for new signal...");
    log.ExplainNumbered(press, "no MPRIS player named vlc");
    EXPECT_EQ(Hover(0), QStringLiteral("no MPRIS player named vlc"));
    EXPECT_EQ(Hover(1), QString());
}

// A line wider than its row shows whole on hover, before why it is there; the row's own
// width decides, not the line's length.
TEST_F(HistoryViewTest, ALineTheRowCutsShowsWholeOnHover) {
    const std::string code = "  >>REP>>SAMSUNG_E0E0E01F_E0E0D02F_E0E0E01F";
    view_.InsertLine(0, code);
    view_.InsertLine(1, code);
    view_.ExplainLine(1, "no player");
    EXPECT_EQ(Hover(0), QString::fromStdString(code));
    EXPECT_EQ(Hover(1), QString::fromStdString(code + "\nno player"));
    view_.setGeometry(8, 8, 800, 329);
    ASSERT_TRUE(ProcessEventsUntil([&] { return view_.viewport()->width() > 700; }));
    EXPECT_EQ(Hover(0), QString());
}

}  // namespace
