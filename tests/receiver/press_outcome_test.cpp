#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receiver/signal_cycle.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/doubles/recording_problem_notice.h"
#include "tests/doubles/scripted_key_source.h"

namespace {

using Lines = std::vector<std::string>;
const std::string W = SignalCycle::WaitingText;
const std::string NoPlayer = "no MPRIS player named vlc";

struct Presses {
    explicit Presses(std::vector<SourceItem> items) : source(std::move(items)) {
        cycle.NoticeWith(&notice);
    }
    MemoryHistoryList list;
    HistoryLog log{list};
    ScriptedKeySource source;
    RecordingPlayerLink player;
    SharedKeyMap keys;
    RecordingProblemNotice notice;
    SignalCycle cycle{source, log, player, keys};
};

// A link that knows at once explains the line the press writes; a missing player is told
// once, not at every key.
TEST(PressOutcome, AFailureKnownAtOnceExplainsThePressesLine) {
    Presses run({Press(0x60), Press(0x60)});
    run.player.answer = NoPlayer;
    run.cycle.Run();
    EXPECT_EQ(run.list.lines, (Lines{"PLAY!", "PLAY!", W}));
    EXPECT_EQ(run.list.whys, (Lines{NoPlayer, NoPlayer, ""}));
    EXPECT_EQ(run.notice.shown, Lines{NoPlayer});
    EXPECT_EQ(run.player.told, Lines{NoPlayer});
}

// An answer that comes after later lines were written explains the line of its own press,
// and the texts stay; an action that reached its player ends the problem, and a new one is
// told again.
TEST(PressOutcome, AFailureLearntLaterExplainsTheLineOfItsPress) {
    Presses run({Press(0x60), Press(0x18), Press(0x60), Press(0x60)});
    run.cycle.Run();
    ASSERT_EQ(run.player.presses.size(), 4U);
    const std::string late = "PlayPause on vlc failed: timed out";
    run.player.Outcome(run.player.presses[1], NoPlayer);
    run.player.Outcome(run.player.presses[0], NoPlayer);
    run.player.Outcome(run.player.presses[2]);
    run.player.Outcome(run.player.presses[3], late);
    EXPECT_EQ(run.list.lines, (Lines{"PLAY!", "NEXT!", "PLAY!", "PLAY!", W}));
    EXPECT_EQ(run.list.whys, (Lines{NoPlayer, NoPlayer, "", late, ""}));
    EXPECT_EQ(run.notice.shown, (Lines{NoPlayer, "", late}));
}

}  // namespace
