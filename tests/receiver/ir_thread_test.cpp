#include "receiver/ir_thread.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "tests/doubles/locked_history_list.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/receiver/pty.h"

namespace {

using Lines = std::vector<std::string>;
const std::string W = "Waiting for new signal...";
const std::string Greeting = "Click to start the fun :)";

// A recorder that the test keeps after the thread has handed it back.
struct SharedRecorder {
    std::mutex mutex;
    std::vector<int> commands;
    int lookups = 0;

    IRThread::PlayerFactory Factory() {
        return [this] {
            struct Link : PlayerLink {
                explicit Link(SharedRecorder& r) : r(r) {}
                std::string FindPlayerWindow() override {
                    std::lock_guard lock(r.mutex);
                    ++r.lookups;
                    return "recorder";
                }
                void SendPlayerCommand(int id) override {
                    std::lock_guard lock(r.mutex);
                    r.commands.push_back(id);
                }
                SharedRecorder& r;
            };
            return std::make_unique<Link>(*this);
        };
    }
};

bool EndsWith(const Lines& lines, const Lines& tail) {
    return lines.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), lines.rbegin());
}

TEST(IRThread, PortPresentLeavesOnlyTheWaitingLine) {
    Pty pty;
    LockedHistoryList list({Greeting});
    SharedRecorder player;
    IRThread thread(list, pty.SlavePath(), player.Factory());
    EXPECT_EQ(list.Lines(), Lines{Greeting});  // created suspended

    thread.Resume();
    EXPECT_EQ(list.WaitFor([](const Lines& l) { return l == Lines{W}; }), Lines{W});

    thread.RequestStop();
    thread.Join();
    EXPECT_EQ(thread.LineIndex(), 0);
    EXPECT_EQ(player.lookups, 1);
}

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

TEST(IRThread, BytesOnThePortBecomeLinesAndCommandsInOrder) {
    Pty pty;
    LockedHistoryList list({Greeting});
    SharedRecorder player;
    IRThread thread(list, pty.SlavePath(), player.Factory());
    thread.Resume();
    list.WaitFor([](const Lines& l) { return l == Lines{W}; });

    pty.Write({0x91, 0x60, 0x91, 0x2A, 0x0D, 0xB0, 0x05, 0x0D, 0x60});
    const Lines expected{"PLAY!", "42", "  >>REP>>VOL_UP!", W, "5", "  >>REP>>96", W};
    EXPECT_EQ(list.WaitFor([&](const Lines& l) { return l == expected; }), expected);

    thread.RequestStop();
    thread.Join();
    EXPECT_EQ(player.commands, (std::vector<int>{18808, 18815}));
}

// The window closes while the receiver waits for a byte that never comes.
TEST(IRThread, DestroyingARunningThreadStopsAndJoinsIt) {
    Pty pty;
    LockedHistoryList list({Greeting});
    {
        IRThread thread(list, pty.SlavePath());
        thread.Resume();
        list.WaitFor([](const Lines& l) { return EndsWith(l, {W}); });
    }
    EXPECT_EQ(list.Lines(), Lines{W});
}

TEST(IRThread, StopBeforeResumeStillEndsPromptly) {
    Pty pty;
    LockedHistoryList list({Greeting});
    IRThread thread(list, pty.SlavePath());
    thread.RequestStop();
    thread.Resume();
    thread.Join();
    EXPECT_EQ(list.Lines(), Lines{W});
}

}  // namespace
