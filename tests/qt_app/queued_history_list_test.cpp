#include "qt_app/queued_history_list.h"

#include <gtest/gtest.h>

#include <atomic>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <string>
#include <thread>
#include <vector>

#include "history/history_log.h"
#include "qt_app/history_view.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/qt_app/qt_environment.h"

namespace {

// The receiver's writes as the signal cycle makes them: a waiting line, then its
// replacement, with the odd extra line in between.
void WriteLikeTheReceiver(HistoryLog& log, int events) {
    log.RemoveFirstLine();
    for (int i = 0; i < events; ++i) {
        log.AppendLine("Waiting for new signal...");
        if (i % 3 == 0) {
            log.AppendLine("-1");
        }
        log.ReplaceLastLine("event " + std::to_string(i));
    }
    log.AppendLine("Waiting for new signal...");
}

std::vector<std::string> Lines(const HistoryView& view) {
    std::vector<std::string> lines;
    for (int row = 0; row < view.LineCount(); ++row) {
        lines.push_back(view.Model().Line(row));
    }
    return lines;
}

class QueuedHistoryListTest : public ::testing::Test {
  protected:
    QueuedHistoryListTest() { view_.InsertLine(0, "Click to start the fun :)"); }

    // What the same writes give when applied directly, in order.
    std::vector<std::string> Expected(int events) {
        MemoryHistoryList memory({"Click to start the fun :)"});
        HistoryLog log(memory);
        WriteLikeTheReceiver(log, events);
        return memory.lines;
    }

    bool WaitForLines(std::size_t count) {
        return ProcessEventsUntil([&] { return view_.LineCount() == static_cast<int>(count); });
    }

    HistoryView view_;
    QueuedHistoryList list_{view_};
};

TEST_F(QueuedHistoryListTest, WritesFromAnotherThreadArriveInOrder) {
    constexpr int events = 500;
    const std::vector<std::string> expected = Expected(events);
    int lineIndex = -2;
    std::thread receiver([&] {
        HistoryLog log(list_);
        WriteLikeTheReceiver(log, events);
        lineIndex = log.LineIndex();
    });
    ASSERT_TRUE(WaitForLines(expected.size()));
    receiver.join();
    // Every write was posted before join returned; apply whatever is still queued.
    QCoreApplication::processEvents();

    EXPECT_EQ(Lines(view_), expected);
    EXPECT_EQ(lineIndex + 1, view_.LineCount());
}

TEST_F(QueuedHistoryListTest, NothingChangesUntilTheUiThreadRuns) {
    std::thread receiver([&] {
        HistoryLog log(list_);
        log.RemoveFirstLine();
        log.AppendLine("Waiting for new signal...");
    });
    // The writer finishes without the UI thread taking part.
    receiver.join();
    EXPECT_EQ(Lines(view_), std::vector<std::string>{"Click to start the fun :)"});
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return Lines(view_) == std::vector<std::string>{"Waiting for new signal..."}; }));
}

TEST_F(QueuedHistoryListTest, WritesAfterTheStreamHasStoppedStillArrive) {
    // Each round is a stream that ends: the pacing must stop with it and start again with
    // the next write, never leave later writes waiting for a frame that does not come.
    HistoryLog log(list_);
    for (int round = 0; round < 3; ++round) {
        std::thread receiver([&] {
            if (round == 0) {
                log.RemoveFirstLine();
            }
            log.AppendLine("Waiting for new signal...");
            log.ReplaceLastLine("round " + std::to_string(round));
        });
        receiver.join();
        const std::string last = "round " + std::to_string(round);
        ASSERT_TRUE(ProcessEventsUntil([&] {
            return view_.LineCount() == round + 1 && view_.Model().Line(round) == last;
        })) << last;
        // Long enough for any frame still running out to end with nothing to carry.
        QDeadlineTimer quiet(5 * HistoryView::FrameMs);
        while (!quiet.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
    }
}

}  // namespace
