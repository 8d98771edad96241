#include "receiver/ir_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "tests/doubles/locked_history_list.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;
const std::string W = "Waiting for new signal...";
const std::string Greeting = "Click to start the fun :)";

// Counts the player lookups of the link the thread makes for itself.
struct LookupCounter {
    std::atomic<int> lookups{0};

    IRThread::PlayerFactory Factory() {
        return [this] {
            struct Link : PlayerLink {
                explicit Link(std::atomic<int>& n) : n(n) {}
                std::string FindPlayerWindow() override {
                    ++n;
                    return "counter";
                }
                void SendPlayerCommand(int) override {}
                std::atomic<int>& n;
            };
            return std::make_unique<Link>(lookups);
        };
    }
};

TEST(IRThread, PortPresentLeavesOnlyTheWaitingLine) {
    auto pty = VirtualPort::CreatePty();
    LockedHistoryList list({Greeting});
    LookupCounter player;
    IRThread thread(list, pty->readerPath(), player.Factory());
    EXPECT_EQ(list.Lines(), Lines{Greeting});  // created suspended

    thread.Resume();
    EXPECT_EQ(list.WaitFor([](const Lines& l) { return l == Lines{W}; }), Lines{W});

    thread.RequestStop();
    thread.Join();
    EXPECT_EQ(thread.LineIndex(), 0);
    EXPECT_EQ(player.lookups, 1);
}

// The start order shows: the greeting goes before the "Err" lines, which come first.
TEST(IRThread, PortAbsentReportsThreeErrsThenFailedReads) {
    const auto missing = std::filesystem::temp_directory_path() / "quorvel-no-such-port";
    LockedHistoryList list({Greeting});
    IRThread thread(list, missing.string());
    thread.Resume();

    const Lines expected{"Err", "Err", "Err", W, "COM READ ERROR!", "-1", W, "COM READ ERROR!",
                         "-1",  W};
    const Lines seen = list.WaitFor([&](const Lines& l) { return l.size() >= expected.size(); });
    thread.RequestStop();
    thread.Join();
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(Lines(seen.begin(), seen.begin() + expected.size()), expected);
}

// The window closes while the receiver waits for a byte that never comes.
TEST(IRThread, DestroyingARunningThreadStopsAndJoinsIt) {
    auto pty = VirtualPort::CreatePty();
    LockedHistoryList list({Greeting});
    {
        IRThread thread(list, pty->readerPath());
        thread.Resume();
        list.WaitFor([](const Lines& l) { return l == Lines{W}; });
    }
    EXPECT_EQ(list.Lines(), Lines{W});
}

TEST(IRThread, StopBeforeResumeStillEndsPromptly) {
    auto pty = VirtualPort::CreatePty();
    LockedHistoryList list({Greeting});
    IRThread thread(list, pty->readerPath());
    thread.RequestStop();
    thread.Resume();
    thread.Join();
    EXPECT_EQ(list.Lines(), Lines{W});
}

}  // namespace
