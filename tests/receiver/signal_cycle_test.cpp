#include "receiver/signal_cycle.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <utility>

#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/doubles/remote_layout.h"
#include "tests/doubles/scripted_key_source.h"
#include "tests/doubles/serial_items.h"

namespace {

using Lines = std::vector<std::string>;
using Ids = std::vector<PlayerAction>;
constexpr auto PP = PlayerAction::PlayPause;
constexpr auto NX = PlayerAction::Next;
constexpr auto UP = PlayerAction::VolumeUp;
constexpr auto DN = PlayerAction::VolumeDown;
const std::string W = "Waiting for new signal...";
const std::string E = "COM READ ERROR!";
const std::string Greeting = "Click to start the fun :)";

// The receiver's bytes as its tty hands them over: -1 is a byte damaged on the line
// (marked 0xFF 0x00 0x00), a data 0xFF is doubled.
std::vector<std::uint8_t> Marked(const std::vector<int>& values) {
    std::vector<std::uint8_t> bytes;
    for (const int value : values) {
        if (value < 0) {
            bytes.insert(bytes.end(), {0xFF, 0x00, 0x00});
        } else {
            bytes.push_back(static_cast<std::uint8_t>(value));
            if (value == 0xFF) {
                bytes.push_back(0xFF);
            }
        }
    }
    return bytes;
}

// The cycle over what the serial line makes of a receiver's bytes, from the start,
// checking after every write that the list holds LineIndex + 1 lines.
// With learning, the keys window's capture is armed from the start.
struct CycleRun {
    explicit CycleRun(const std::vector<int>& values, bool learning = false) : log(list) {
        ScriptedKeySource line(SerialItems(Marked(values)));
        list.lines = {Greeting};
        list.onRepaint = [this] {
            ASSERT_EQ(static_cast<int>(list.lines.size()), log.LineIndex() + 1);
        };
        SignalCycle cycle(line, log, player, keys);
        if (learning) {
            capture.Arm([this](const KeyEvent& press) { learnt.push_back(press.key.CodeValue()); });
            cycle.CaptureWith(&capture);
        }
        cycle.Start();
        cycle.Run();
    }
    MemoryHistoryList list;
    HistoryLog log;
    RecordingPlayerLink player;
    SharedKeyMap keys;
    KeyCapture capture;
    std::vector<int> learnt;
};

struct Case {
    const char* name;
    std::vector<int> bytes;
    Lines lines;
    Ids commands;
    std::vector<int> learnt = {};  // armed to learn a key when not empty
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class SignalCycleCase : public testing::TestWithParam<Case> {};

TEST_P(SignalCycleCase, WritesExactLinesAndActions) {
    const Case& c = GetParam();
    CycleRun run(c.bytes, !c.learnt.empty());
    EXPECT_EQ(run.learnt, c.learnt);
    if (!c.learnt.empty()) {  // the key taken waits for the window, once
        const std::optional<Key> kept = run.capture.Collect();
        ASSERT_TRUE(kept.has_value());
        EXPECT_EQ(kept->CodeValue(), c.learnt.back());
        EXPECT_FALSE(run.capture.Collect().has_value());
    }
    EXPECT_EQ(run.list.lines, c.lines);
    EXPECT_EQ(run.log.LineIndex(), static_cast<int>(c.lines.size()) - 1);
    EXPECT_EQ(run.player.actions, c.commands);
}

INSTANTIATE_TEST_SUITE_P(
    Events, SignalCycleCase,
    testing::Values(
        // What each of the remote's keys shows and does is the built-in map's test.
        Case{"NothingYet", {}, {W}, {}}, Case{"Play", {0x91, 0x60}, {"PLAY!", W}, {PP}},
        Case{"UnknownKey", {0x91, 0x2A}, {"42", W}, {}},
        Case{"KeyCodeZero", {0x91, 0x00}, {"0", W}, {}},
        Case{"HeldVolUp", {0x0D, 0xB0}, {"  >>REP>>VOL_UP!", W}, {UP}},
        Case{"HeldPlayOnlyShows", {0x0D, 0x60}, {"  >>REP>>96", W}, {}},
        Case{"StrayByte", {0x05}, {W, "5", W}, {}},
        Case{"StrayHighByte", {0xFF}, {W, "255", W}, {}},
        Case{"PrefixThenPrefix", {0x91, 0x91}, {"145", W}, {}},
        Case{"RepeatThenKeyPrefix", {0x0D, 0x91}, {"  >>REP>>145", W}, {}},
        Case{"RepeatRepeatThenVolUp", {0x0D, 0x0D, 0xB0}, {"  >>REP>>13", W, "176", W}, {}},
        Case{"HeldVolumeRepeatsEveryTime",
             {0x91, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0},
             {"VOL_UP!", "  >>REP>>VOL_UP!", "  >>REP>>VOL_UP!", W},
             {UP, UP, UP}},
        Case{"FailedFirstRead", {-1}, {W, E, "-1", W}, {}},
        // Each failing pass adds its three lines: nothing is dropped or merged.
        Case{"ThreeFailedReads", {-1, -1, -1}, {W, E, "-1", W, E, "-1", W, E, "-1", W}, {}},
        Case{"FailedCodeAfterKey", {0x91, -1}, {W, "-1", W}, {}},
        Case{"FailedCodeAfterRepeat", {0x0D, -1}, {W, "  >>REP>>-1", W}, {}},
        Case{"FailedReadThenPlay", {-1, 0x91, 0x60}, {W, E, "-1", "PLAY!", W}, {PP}},
        Case{"StopBetweenPrefixAndCode", {0x91}, {W}, {}},
        Case{"MixedSession",
             {0x91, 0x60, 0x05, 0x91, 0x18, 0x0D, 0x70},
             {"PLAY!", W, "5", "NEXT!", "  >>REP>>VOL_DOWN!", W},
             {PP, NX, DN}},
        // The key learnt, held, neither shows nor acts; the next press is the cycle's again.
        Case{"LearntKeyDoesNotAct",
             {0x91, 0xB0, 0x0D, 0xB0, 0x91, 0xB0},
             {"VOL_UP!", W},
             {UP},
             {0xB0}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// What a source says of itself: setup failures first (and one known only later above the
// waiting line), a lost source as a failed read, and what the history does not show (a
// source back, a key released). The user sees the waiting line whenever the cycle waits for
// the source.
TEST(SignalCycle, TurnsConditionsIntoLinesWithWhy) {
    using Kind = SourceCondition::Kind;
    MemoryHistoryList list({Greeting});
    HistoryLog log(list);
    ScriptedKeySource source(
        {SourceCondition{Kind::Absent, "never reached", true},
         SourceCondition{Kind::Lost, "unplugged"}, SourceCondition{Kind::Back, "back"},
         KeyEvent{KeyAction::Release, Key::Code(0x60)}, Press(0x60),
         BrokenEvent{KeyAction::Press, {Kind::LineError, "noise"}}},
        {{Kind::Absent, "no such port"}, {Kind::Absent, "no such port"}});
    source.onNext = [&] { ASSERT_EQ(list.lines.back(), W); };
    RecordingPlayerLink player;
    SharedKeyMap keys;
    SignalCycle cycle(source, log, player, keys);
    EXPECT_EQ(cycle.MessageText(), "");
    cycle.Start();
    cycle.Run();
    EXPECT_EQ(list.lines, (Lines{"Err", "Err", "Err", W, E, "-1", "PLAY!", W, "-1", W}));
    // The broken event's text replaces its error line, and with it the why.
    EXPECT_EQ(list.whys, (Lines{"no such port", "no such port", "never reached", "", "unplugged",
                                "", "", "", "", ""}));
    EXPECT_EQ(player.actions, Ids{PP});
    EXPECT_EQ(cycle.MessageText(), "-1");
}

// A console shows no greeting, so nothing is removed for it.
TEST(SignalCycle, StartRemovesTheGreetingOnlyWhereThereIsOne) {
    struct NoGreeting : MemoryHistoryList {
        bool HoldsGreeting() const override { return false; }
    } list;
    HistoryLog log(list);
    ScriptedKeySource source({});
    RecordingPlayerLink player;
    SharedKeyMap keys;
    SignalCycle(source, log, player, keys).Start();
    EXPECT_TRUE(source.opened);
    EXPECT_TRUE(list.lines.empty());
}

// The player acts before the history shows the key.
TEST(SignalCycle, CommandCompletesBeforeTheLineChanges) {
    struct OrderCheckingPlayer : PlayerLink {
        explicit OrderCheckingPlayer(const MemoryHistoryList& l) : list(l) {}
        void Perform(const PlayerRequest&, const PlayerChoice&) override {
            lastLineWhenSent = list.lines.back();
        }
        const MemoryHistoryList& list;
        std::string lastLineWhenSent;
    };
    MemoryHistoryList list;
    HistoryLog log(list);
    ScriptedKeySource source({Press(0x60)});
    OrderCheckingPlayer player(list);
    SharedKeyMap keys;
    SignalCycle cycle(source, log, player, keys);
    ASSERT_TRUE(cycle.RunOnePass());
    EXPECT_EQ(player.lastLineWhenSent, W);
    EXPECT_EQ(cycle.MessageText(), "PLAY!");
    EXPECT_EQ(list.lines.back(), "PLAY!");
}

// A run command skipped as it still runs, or that cannot start, shows as such, with why;
// the history never says RUN! for it.
TEST(SignalCycle, ARunThatDoesNotStartShowsWhy) {
    struct Endless : ChildCommand {
        bool Running(std::string&) override { return true; }
        EventLoop::Handle EndHandle() const override { return -1; }
    };
    MemoryHistoryList list;
    HistoryLog log(list);
    ScriptedKeySource source({Press(0x2A), Press(0x2A), Press(0x2B)});
    RecordingPlayerLink player;
    std::vector<std::string> problems;
    const SharedKeyMap keys(
        KeyMap::Parse("key 0x2a run sleep 9\nkey 0x2b run notify-send hi", "keys.conf", problems));
    SignalCycle cycle(
        source, log, player, keys, EventClock::Steady(),
        [](const std::string& command, std::string& error) -> std::unique_ptr<ChildCommand> {
            if (command == "sleep 9") {
                return std::make_unique<Endless>();
            }
            error = "cannot fork: Resource temporarily unavailable";
            return nullptr;
        });
    cycle.Run();
    EXPECT_EQ(list.lines,
              (Lines{"RUN!", SignalCycle::RunSkippedText, SignalCycle::RunFailedText, W}));
    EXPECT_EQ(list.whys, (Lines{"", "\"sleep 9\" still runs; its key is skipped until it ends",
                                "cannot run \"notify-send hi\": cannot fork: Resource temporarily "
                                "unavailable",
                                ""}));
}

// A key's player is chosen once: its action, a gesture's too, goes to the player whose
// section it took, even when playback moved to another before the action was carried out.
TEST(SignalCycle, AKeysSectionAndActionGoByOneChoiceOfPlayer) {
    struct Instant : EventClock {
        TimePoint Now() override { return {}; }  // two presses at once are a double
    } clock;
    std::vector<std::string> problems;
    const SharedKeyMap keys(
        KeyMap::Parse("[player=alpha]\nkey 0x18 next\nkey 0x60 play-pause\ndouble 0x60 stop\n",
                      "keys.conf", problems));
    const std::pair<std::vector<SourceItem>, PlayerAction> cases[] = {
        {{Press(0x18)}, NX}, {{Press(0x60), Press(0x60)}, PlayerAction::Stop}};
    for (const auto& [presses, action] : cases) {
        MemoryHistoryList list;
        HistoryLog log(list);
        ScriptedKeySource source(presses);
        RecordingPlayerLink player;
        player.playing = {"alpha", "beta"};  // beta from the second look on
        SignalCycle(source, log, player, keys, clock).Run();
        EXPECT_EQ(player.actions, Ids{action});
        EXPECT_EQ(player.players, Lines{"alpha"});
    }
}

TEST(SignalCycle, RandomStreamsKeepTheInvariantAndAskOneActionPerRecognisedEvent) {
    std::mt19937 rng(20261207);
    // Prefixes and known codes are drawn often so that events actually form.
    const std::vector<int> likely{0x91, 0x0D, 0x60, 0x98, 0x18, 0xB0, 0x70, -1};
    for (int round = 0; round < 50; ++round) {
        std::vector<int> bytes(2000);
        for (int& b : bytes) {
            b = rng() % 2 ? likely[rng() % likely.size()] : static_cast<int>(rng() % 257) - 1;
        }
        CycleRun run(bytes);
        ASSERT_EQ(run.player.actions, ExpectedCommands(bytes)) << "round " << round;
        ASSERT_EQ(run.list.lines.back(), W);
        ASSERT_EQ(static_cast<int>(run.list.lines.size()), run.log.LineIndex() + 1);
    }
}

}  // namespace
