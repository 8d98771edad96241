#include "history/history_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "tests/doubles/memory_history_list.h"

namespace {

using Lines = std::vector<std::string>;

// The greeting goes without a repaint; every write after it is one, each append a line at
// the end and LineIndex the last line's, a replacement changing only that line.
TEST(HistoryLog, AppendsInOrderAndReplacesOnlyTheLastLine) {
    MemoryHistoryList list({"Click to start the fun :)"});
    HistoryLog log(list);
    EXPECT_EQ(log.LineIndex(), -1);
    log.RemoveFirstLine();
    EXPECT_TRUE(list.lines.empty());
    EXPECT_EQ(log.LineIndex(), -1);
    EXPECT_EQ(list.repaints, 0);
    for (int i = 0; i < 30; ++i) {
        log.AppendLine(std::to_string(i));
        ASSERT_EQ(static_cast<int>(list.lines.size()), log.LineIndex() + 1);
    }
    log.ReplaceLastLine("last");
    ASSERT_EQ(list.lines.size(), 30u);
    EXPECT_EQ(list.lines.front(), "0");
    EXPECT_EQ(list.lines[28], "28");
    EXPECT_EQ(list.lines.back(), "last");
    EXPECT_EQ(list.repaints, 31);
}

TEST(HistoryLog, ReplaceBeforeAnyAppendAddsALineInsteadOfWritingOutOfRange) {
    MemoryHistoryList list;
    HistoryLog log(list);
    log.ReplaceLastLine("x");
    EXPECT_EQ(list.lines, Lines{"x"});
    EXPECT_EQ(log.LineIndex(), 0);
}

// Left running, the history keeps the newest lines only, dropped in blocks from the top,
// and LineIndex still counts the lines held.
TEST(HistoryLog, KeepsTheNewestLinesDroppingTheOldestInBlocks) {
    MemoryHistoryList list;
    HistoryLog log(list);
    for (int i = 0; i < HistoryLog::MaxLines; ++i) {
        log.AppendLine(std::to_string(i));
    }
    ASSERT_EQ(list.lines.size(), static_cast<std::size_t>(HistoryLog::MaxLines));
    const std::uint64_t firstKept = HistoryLog::TrimLines + 1;  // numbered from 1

    log.AppendLine("next");
    // A line explained late is found by its number, however many went above it.
    log.ExplainNumbered(1, "dropped");
    log.ExplainNumbered(firstKept, "kept");
    EXPECT_EQ(list.whys.front(), "kept");
    EXPECT_EQ(std::count(list.whys.begin(), list.whys.end(), "dropped"), 0);
    const int held = HistoryLog::MaxLines - HistoryLog::TrimLines + 1;
    ASSERT_EQ(static_cast<int>(list.lines.size()), held);
    EXPECT_EQ(log.LineIndex(), held - 1);
    EXPECT_EQ(list.lines.front(), std::to_string(HistoryLog::TrimLines));
    log.ReplaceLastLine("replaced");
    EXPECT_EQ(list.lines.back(), "replaced");
    EXPECT_EQ(static_cast<int>(list.lines.size()), held);
}

TEST(HistoryLog, AnAppendedLineCanBeExplained) {
    MemoryHistoryList list;
    HistoryLog log(list);
    log.AppendLine("Err", "cannot open serial port /dev/ttyUSB0");
    log.AppendLine("Waiting for new signal...");
    EXPECT_EQ(list.whys, (Lines{"cannot open serial port /dev/ttyUSB0", ""}));
}

}  // namespace
