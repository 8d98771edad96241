#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "receiver/signal_cycle.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/receiver/timed_source.h"

// Taps, double taps, long presses and a mode's timeout through the signal cycle, timed by
// the clock the source moves.
namespace {

using Call = std::pair<int, PlayerAction>;  // when, and what

class TimedLink : public PlayerLink {
  public:
    explicit TimedLink(Timeline& clock) : clock_(clock) {}
    void Perform(const PlayerRequest& request, const PlayerChoice&) override {
        calls.emplace_back(clock_.ms, request.action);
    }
    void Announce(const PlayerNews& news) override { told.push_back(news.text); }
    std::vector<Call> calls;
    std::vector<std::string> told;

  private:
    Timeline& clock_;
};

constexpr auto P = KeyAction::Press;
constexpr auto R = KeyAction::Repeat;
constexpr auto U = KeyAction::Release;

// 0x60 has all three gestures; 0x18 none; 0x0D is held with its long binding only, as are
// 0x01 to 0x04 with shorter delays; 0x42 enters a mode with a timeout, where 0x18 is
// another key.
constexpr const char* Keys =
    "key 0x60 play-pause\ndouble 0x60 next\nlong 0x60 stop\n"
    "key 0x18 next\n"
    "key 0x0D play\nlong 0x0D mute\n"
    "key 0x01 play\nlong 0x01 mute delay=1\nkey 0x02 play\nlong 0x02 mute delay=200\n"
    "key 0x03 play\nlong 0x03 mute delay=250\nkey 0x04 play\nlong 0x04 mute delay=400\n"
    "key 0x42 mode tv timeout=2\n"
    "[mode=tv]\nkey 0x18 previous\n";

struct GestureCase {
    const char* name;
    Steps steps;
    std::vector<Call> calls;
    std::vector<std::string> lines{};  // the history at the end, where it is checked
    bool releases = false;             // the source says when keys go up (input devices)
    // The gestures the cycle decided, where they are checked.
    std::optional<std::vector<std::string>> told{};
};

const std::string W = "Waiting for new signal...";

class Gesture : public testing::TestWithParam<GestureCase> {};

TEST_P(Gesture, ActsOnceWhenDecided) {
    Timeline clock;
    TimedSource source(GetParam().steps, clock, GetParam().releases);
    MemoryHistoryList list({"Click to start the fun :)"});
    HistoryLog history(list);
    TimedLink player(clock);
    std::vector<std::string> problems;
    const SharedKeyMap keys(KeyMap::Parse(Keys, "keys.conf", problems));
    ASSERT_EQ(problems, std::vector<std::string>{});
    SignalCycle cycle(source, history, player, keys, clock);
    cycle.Start();
    cycle.Run();
    EXPECT_EQ(player.calls, GetParam().calls);
    if (!GetParam().lines.empty()) {
        EXPECT_EQ(list.lines, GetParam().lines);
    }
    if (GetParam().told) {
        EXPECT_EQ(source.told, *GetParam().told);
    }
}

void PrintTo(const GestureCase& c, std::ostream* os) {
    *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Gesture,
    testing::Values(
        GestureCase{.name = "Tap100",
                    .steps = {{0, P, 0x60}, {100, U, 0x60}},
                    .calls = {{350, PlayerAction::PlayPause}},
                    .lines = {"96", "PLAY!", W},
                    .told = {{"press 96 @350"}}},
        GestureCase{.name = "Held800",
                    .steps = Join({{{0, P, 0x60}}, Repeats(0x60, 100, 700, 100), {{800, U, 0x60}}}),
                    .calls = {{600, PlayerAction::Stop}},
                    .told = {{"long 96 @600"}}},
        GestureCase{.name = "TwoPresses250",
                    .steps = {{0, P, 0x60}, {50, U, 0x60}, {250, P, 0x60}, {300, U, 0x60}},
                    .calls = {{250, PlayerAction::Next}},
                    .lines = {"96", "NEXT!", "96", W},
                    .told = {{"double 96 @250"}}},
        GestureCase{.name = "HeldWithoutGestures",
                    .steps = Join({{{0, P, 0x18}}, Repeats(0x18, 110, 220, 110)}),
                    .calls = {{0, PlayerAction::Next}},
                    .told = {{"press 24 @0", "held 24 @110", "held 24 @220"}}},
        GestureCase{"Repeats110For1s", Repeats(0x0D, 0, 990, 110), {{600, PlayerAction::Mute}}},
        // A press with no release and no repeat: its hold ends unheard, whatever the delay.
        GestureCase{"PressOnly", {{0, P, 0x0D}}, {{250, PlayerAction::Play}}},
        GestureCase{"PressOnlyDelay1", {{0, P, 0x01}}, {{250, PlayerAction::Play}}},
        GestureCase{"PressOnlyDelay200", {{0, P, 0x02}}, {{250, PlayerAction::Play}}},
        GestureCase{"PressOnlyDelay250", {{0, P, 0x03}}, {{250, PlayerAction::Play}}},
        // Its last repeat at 220 ms: not held at 400 ms, the next repeat being due by 330.
        GestureCase{"Pressed300Delay400",
                    {{0, P, 0x04}, {110, R, 0x04}, {220, R, 0x04}},
                    {{470, PlayerAction::Play}}},
        // Reception lost mid-hold, after the long press (350 ms) or for two repeats (330 ms):
        // what follows is the same hold, spent.
        GestureCase{
            "DropoutAfterTheLongPress",
            Join({{{0, P, 0x60}}, Repeats(0x60, 110, 990, 110), Repeats(0x60, 1340, 1560, 110)}),
            {{600, PlayerAction::Stop}}},
        GestureCase{
            "TwoRepeatsLost",
            Join({{{0, P, 0x0D}}, Repeats(0x0D, 110, 770, 110), Repeats(0x0D, 1100, 1980, 110)}),
            {{600, PlayerAction::Mute}}},
        // A hold whose press was missed is a long press or nothing, never a tap.
        GestureCase{"RepeatsWithoutPressNeverTap", Repeats(0x0D, 0, 220, 110), {}},
        GestureCase{"NoGestureActsAtOnce", {{0, P, 0x18}}, {{0, PlayerAction::Next}}},
        GestureCase{"OtherKeyDecidesTheTap",
                    {{0, P, 0x60}, {40, U, 0x60}, {100, P, 0x18}},
                    {{100, PlayerAction::PlayPause}, {100, PlayerAction::Next}}},
        // The kernel's remote layer repeats from 500 ms, every 125 ms, and says the release:
        // the hold lasts until then.
        GestureCase{"KernelHeldUntilRelease",
                    Join({{{0, P, 0x60}}, Repeats(0x60, 500, 1125, 125), {{1250, U, 0x60}}}),
                    {{600, PlayerAction::Stop}},
                    {},
                    true},
        GestureCase{"ModeTimesOut",
                    {{0, P, 0x42}, {1000, P, 0x18}, {4000, P, 0x18}},
                    {{1000, PlayerAction::Previous}, {4000, PlayerAction::Next}},
                    {"MODE tv", "PREV!", "MODE", "NEXT!", W}}));

}  // namespace
