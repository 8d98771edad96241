// Hold shaping as the signal cycle does it: a table of events, each with when it arrived,
// against the actions carried out. The clock is the test's: no sleeps.
#include "receiver/hold_shaper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "receiver/signal_cycle.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/recording_player_link.h"
#include "tests/receiver/timed_source.h"

namespace {

using Ids = std::vector<PlayerAction>;
constexpr auto PP = PlayerAction::PlayPause;
constexpr auto ST = PlayerAction::Stop;
constexpr auto UP = PlayerAction::VolumeUp;
constexpr auto DN = PlayerAction::VolumeDown;

// A key pressed at fromMs and held for holdMs, its repeats everyMs apart.
Steps Hold(int code, int fromMs, int holdMs, int everyMs = 110) {
    return Join({{{fromMs, KeyAction::Press, code}},
                 Repeats(code, fromMs + everyMs, fromMs + holdMs - 1, everyMs)});
}

// Repeats of code at the times given.
Steps At(int code, std::initializer_list<int> times) {
    Steps steps;
    for (const int ms : times) {
        steps.push_back({ms, KeyAction::Repeat, code});
    }
    return steps;
}

// Lines the history shows, times over.
struct Shown {
    const char* text;
    int times = 1;
};

struct Case {
    const char* name;
    const char* map;
    Steps events;
    Ids actions;
    std::vector<Shown> shown;  // each event's line, in order
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class HoldShaping : public testing::TestWithParam<Case> {};

TEST_P(HoldShaping, ActsAsTheShapeSaysAndShowsEveryEvent) {
    const Case& c = GetParam();
    std::vector<std::string> problems;
    const KeyMap keys = KeyMap::Parse(c.map, "keys.conf", problems);
    ASSERT_EQ(problems, std::vector<std::string>{});
    std::vector<std::string> lines;
    for (const Shown& shown : c.shown) {
        lines.insert(lines.end(), shown.times, shown.text);
    }
    lines.push_back("Waiting for new signal...");

    MemoryHistoryList list;
    HistoryLog log(list);
    Timeline clock;
    TimedSource source(c.events, clock);
    RecordingPlayerLink player;
    const SharedKeyMap shared(keys);
    SignalCycle(source, log, player, shared, clock).Run();
    EXPECT_EQ(player.actions, c.actions);
    EXPECT_EQ(list.lines, lines);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HoldShaping,
    testing::Values(
        // Held 1 s: repeats at 110 to 990 ms; past 300 ms those at 330, 440, ... 990, of
        // which every second one acts, from the first: 330, 550, 770, 990.
        Case{"VolumeDelay300Every2HeldOneSecond",
             "key 0xB0 volume-up\nheld 0xB0 volume-up delay=300 every=2",
             Hold(0xB0, 0, 1000),
             {UP, UP, UP, UP, UP},
             {{"VOL_UP!"}, {"  >>REP>>VOL_UP!", 9}}},
        Case{"VolumeHeldOnlyRepeatsBound",
             "held 0xB0 volume-up delay=300 every=2",
             Hold(0xB0, 0, 1000),
             {UP, UP, UP, UP},
             {{"176"}, {"  >>REP>>VOL_UP!", 9}}},
        // A long press: a short press toggles; held 1.5 s it toggles once and stops once.
        Case{"ShortPressToggles",
             "key 0x60 play-pause\nheld 0x60 stop once delay=800",
             Hold(0x60, 0, 200),
             {PP},
             {{"PLAY!"}, {"  >>REP>>STOP!"}}},
        Case{"LongPressTogglesAndStopsOnce",
             "key 0x60 play-pause\nheld 0x60 stop once delay=800",
             Hold(0x60, 0, 1500),
             {PP, ST},
             {{"PLAY!"}, {"  >>REP>>STOP!", 13}}},
        Case{"Unshaped",
             "held 0x70 volume-down",
             Hold(0x70, 0, 400),
             {DN, DN, DN},
             {{"112"}, {"  >>REP>>VOL_DOWN!", 3}}},
        // Acts at 330, 440, 550.
        Case{"DelayAlone",
             "held 0x70 volume-down delay=300",
             Hold(0x70, 0, 600),
             {DN, DN, DN},
             {{"112"}, {"  >>REP>>VOL_DOWN!", 5}}},
        // Acts on the 1st, 4th and 7th repeat.
        Case{"EveryAlone",
             "held 0x70 volume-down every=3",
             Hold(0x70, 0, 800),
             {DN, DN, DN},
             {{"112"}, {"  >>REP>>VOL_DOWN!", 7}}},
        // The step starts at four repeats and shrinks to one: the 1st, 5th, 8th, 10th, 11th
        // and 12th repeat act.
        Case{"Accel",
             "held 0x70 volume-down accel",
             Hold(0x70, 0, 1400),
             {DN, DN, DN, DN, DN, DN},
             {{"112"}, {"  >>REP>>VOL_DOWN!", 12}}},
        // Acts on the 1st, 6th, 10th, 13th, 15th and 17th of 17 repeats.
        Case{"AccelDownToEvery",
             "held 0x70 volume-down accel every=2",
             Hold(0x70, 0, 1900),
             {DN, DN, DN, DN, DN, DN},
             {{"112"}, {"  >>REP>>VOL_DOWN!", 17}}},
        // A gap over 250 ms ends a hold: the next repeat starts one.
        Case{"GapEndsAHold",
             "held 0xB0 volume-up once",
             At(0xB0, {0, 110, 220, 600, 710}),
             {UP, UP},
             {{"  >>REP>>VOL_UP!", 5}}},
        Case{"GapOfTheBoundKeepsIt",
             "held 0xB0 volume-up once",
             At(0xB0, {0, 250, 500}),
             {UP},
             {{"  >>REP>>VOL_UP!", 3}}},
        Case{"GapRestartsTheDelay",
             "held 0xB0 volume-up delay=200",
             At(0xB0, {0, 110, 220, 500, 610, 720}),
             {UP, UP},
             {{"  >>REP>>VOL_UP!", 6}}},
        // A new press ends a hold, whichever key it is.
        Case{"NewPressEndsAHold",
             "key 0x60 play-pause\nheld 0x60 stop once delay=300",
             Join({Hold(0x60, 0, 500), Hold(0x60, 500, 900)}),
             {PP, ST, PP, ST},
             {{"PLAY!"}, {"  >>REP>>STOP!", 4}, {"PLAY!"}, {"  >>REP>>STOP!", 8}}},
        Case{"OtherPressEndsAHold",
             "held 0xB0 volume-up once",
             Join({At(0xB0, {0, 110}), Steps{{150, KeyAction::Press, 0x18}}, At(0xB0, {200, 310})}),
             {UP, UP},
             {{"  >>REP>>VOL_UP!", 2}, {"24"}, {"  >>REP>>VOL_UP!", 2}}},
        Case{"OtherRepeatEndsAHold",
             "held 0xB0 volume-up once\nheld 0x70 volume-down once",
             Join({At(0xB0, {0, 110}), At(0x70, {220}), At(0xB0, {330, 440})}),
             {UP, DN, UP},
             {{"  >>REP>>VOL_UP!", 2}, {"  >>REP>>VOL_DOWN!"}, {"  >>REP>>VOL_UP!", 2}}},
        // A press long before its first repeat does not start the hold.
        Case{"LatePressIsNotTheStart",
             "key 0x60 play-pause\nheld 0x60 stop delay=300",
             Join({Steps{{0, KeyAction::Press, 0x60}}, At(0x60, {400, 510, 620, 730})}),
             {PP, ST},
             {{"PLAY!"}, {"  >>REP>>STOP!", 4}}},
        // Codes bound together shape as one binding each.
        Case{"ToggleCodes",
             "key 0x21,0xA1 play-pause\nheld 0x21,0xA1 stop once delay=300",
             Join({Hold(0x21, 0, 500), Hold(0xA1, 500, 1000)}),
             {PP, ST, PP, ST},
             {{"PLAY!"}, {"  >>REP>>STOP!", 4}, {"PLAY!"}, {"  >>REP>>STOP!", 9}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A slow player: the test's clock moves on only while the player is called, or while the
// source waits for the next event to come; what came meanwhile is handed out as queued.
struct SlowPlayer : PlayerLink {
    SlowPlayer(Timeline& clock, int answerMs) : clock(clock), answerMs(answerMs) {}
    void Perform(const PlayerRequest& request, const PlayerChoice&) override {
        acts.push_back({request.action, clock.ms});
        clock.ms += answerMs;
    }
    Timeline& clock;
    int answerMs;
    std::vector<std::pair<PlayerAction, int>> acts;  // what, and when it was asked
};

struct SlowCase {
    const char* name;
    const char* map;
    int answerMs;
    Steps events;
    std::vector<std::pair<PlayerAction, int>> acts;
};

void PrintTo(const SlowCase& c, std::ostream* os) {
    *os << c.name;
}

class SlowPlayerHold : public testing::TestWithParam<SlowCase> {};

// Every event is still shown; only the acts of what queued behind a call collapse, and
// nothing acts later than half a second after the hold's last repeat.
TEST_P(SlowPlayerHold, QueuedRepeatsActOnceAndNeverLate) {
    const SlowCase& c = GetParam();
    std::vector<std::string> problems;
    const SharedKeyMap keys(KeyMap::Parse(c.map, "keys.conf", problems));
    MemoryHistoryList list;
    HistoryLog log(list);
    Timeline clock;
    TimedSource source(c.events, clock);
    SlowPlayer player(clock, c.answerMs);
    SignalCycle(source, log, player, keys, clock).Run();
    EXPECT_EQ(player.acts, c.acts);
    EXPECT_EQ(list.lines.size(), c.events.size() + 1);
    ASSERT_FALSE(player.acts.empty());
    EXPECT_LE(player.acts.back().second, c.events.back().ms + 500);
}

const char* const Volume = "key 0xB0 volume-up\nheld 0xB0 volume-up";

INSTANTIATE_TEST_SUITE_P(
    Table, SlowPlayerHold,
    testing::Values(
        // A player that answers at once: every repeat acts, as without a queue.
        SlowCase{"Prompt",
                 Volume,
                 0,
                 Hold(0xB0, 0, 500),
                 {{UP, 0}, {UP, 110}, {UP, 220}, {UP, 330}, {UP, 440}}},
        // 300 ms answers over a 2 s hold: the repeats that queued behind each answer act
        // once, by the newest.
        SlowCase{"Answers300",
                 Volume,
                 300,
                 Hold(0xB0, 0, 2000),
                 {{UP, 0},
                  {UP, 300},
                  {UP, 600},
                  {UP, 900},
                  {UP, 1200},
                  {UP, 1500},
                  {UP, 1800},
                  {UP, 2100}}},
        // 900 ms answers: what queued may be older than may act; the live repeats act.
        SlowCase{"Answers900", Volume, 900, Hold(0xB0, 0, 2000), {{UP, 0}, {UP, 990}, {UP, 1980}}},
        // A long press still stops once, on the first repeat that did not wait.
        SlowCase{"LongPressAnswers900",
                 "key 0x60 play-pause\nheld 0x60 stop once delay=800",
                 900,
                 Hold(0x60, 0, 1500),
                 {{PP, 0}, {ST, 990}}},
        // Released while the player was busy: what queued is too old, and nothing acts.
        SlowCase{"ReleasedDuringAnswer", Volume, 900, Hold(0xB0, 0, 800), {{UP, 0}}}),
    [](const testing::TestParamInfo<SlowCase>& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// From a source that says when keys go up, a hold lasts from its press until its release,
// however late its first repeat (the kernel's remote layer: 500 ms).
TEST(HoldShaper, FromASourceWithReleasesAHoldLastsFromItsPress) {
    const EventClock::TimePoint press{};
    const EventClock::TimePoint repeat = press + std::chrono::milliseconds(500);
    const HoldShape delayed{300, 1, false, false};
    const Key key = Key::Code(0xB0);
    for (const bool releases : {false, true}) {
        HoldTracker holds;
        HoldShaper shaper(holds);
        holds.Take(KeyAction::Press, key, releases, press);
        EXPECT_TRUE(shaper.Admit(false, key, delayed, press));
        holds.Take(KeyAction::Repeat, key, releases, repeat);
        EXPECT_EQ(shaper.Admit(true, key, delayed, repeat), releases);
    }
}

}  // namespace
