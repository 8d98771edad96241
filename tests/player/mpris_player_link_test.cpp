#include "player/mpris_player_link.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>

#include "history/history_log.h"
#include "receiver/signal_cycle.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/loop_turns.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/scripted_key_source.h"
#include "tests/doubles/unix_socket.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_notifications.h"
#include "tests/player/stand_in_process.h"

namespace {

using Lines = std::vector<std::string>;
const std::string P = "org.mpris.MediaPlayer2.";
const PlayerRequest Play(PlayerAction::PlayPause);
const PlayerRequest Up(PlayerAction::VolumeUp);

// Generous, so that a slow machine cannot make a healthy player look hung. Tests of the
// real bound use the link's default.
constexpr int PatientTimeoutMs = 20000;

// Links on a loop the test's thread turns, as the receiver's thread does.
class LinkLoop {
  public:
    // A link attached to the loop, as the receiver attaches it before the first key.
    MprisPlayerLink& Link(MprisPlayerFilter filter = {}, int timeoutMs = PatientTimeoutMs,
                          bool notify = false) {
        links_.push_back(std::make_unique<MprisPlayerLink>(std::move(filter), timeoutMs, notify));
        links_.back()->Attach(*loop_);
        return *links_.back();
    }
    // Turns the loop until the link has nothing waiting: its keys sent, their answers in.
    void Settle(MprisPlayerLink& link) {
        EXPECT_TRUE(TurnUntil(*loop_, [&] { return link.Idle(); }));
    }
    EventLoop& Loop() { return *loop_; }

  private:
    std::unique_ptr<EventLoop> loop_ = MakeEventLoop();
    std::vector<std::unique_ptr<MprisPlayerLink>> links_;  // before the loop goes
};

class MprisLink : public testing::Test, public LinkLoop {
  protected:
    void SetUp() override { ASSERT_TRUE(bus_.Started()) << bus_.Error(); }

    // A stand-in player on the bus, started.
    StandInProcess& Player(StandInSetup setup) {
        StandInProcess& player = players_.emplace_back(bus_, std::move(setup));
        EXPECT_TRUE(player.Start());
        return player;
    }
    // Sends each request as its key would, and waits for their answers.
    void Press(MprisPlayerLink& link, std::initializer_list<PlayerRequest> requests) {
        for (const PlayerRequest& request : requests) {
            link.Perform(request);
        }
        Settle(link);
    }

    PrivateBus bus_;
    // The link finds the bus as the program does, in the environment.
    ScopedVariable address_{"DBUS_SESSION_BUS_ADDRESS", bus_.Address()};
    std::deque<StandInProcess> players_;
};

// A key map's actions beyond the five: code 42 bound to stop stops the player and shows
// "STOP!"; muting twice puts the volume back.
TEST_F(MprisLink, AKeyMapsActionsReachThePlayer) {
    StandInProcess& player = Player({"standin"});
    MprisPlayerLink link({}, PatientTimeoutMs);
    std::vector<std::string> problems;
    const KeyMap keys = KeyMap::Parse("key 42 stop\nkey 43 mute\n", "keys.conf", problems);
    MemoryHistoryList list;
    HistoryLog log(list);
    ScriptedKeySource presses({::Press(42), ::Press(43), ::Press(43)});
    const SharedKeyMap shared(keys);
    SignalCycle cycle(presses, log, link, shared);
    cycle.Attach(Loop());
    cycle.Run();
    Settle(link);

    EXPECT_EQ(list.lines, (Lines{"STOP!", "MUTE!", "MUTE!", "Waiting for new signal..."}));
    EXPECT_EQ(player.Calls(), (Lines{"Stop", "Volume 0.0000", "Volume 0.5000"}));
}

TEST_F(MprisLink, AsksIdentitiesForANameAndSaysWhichPlayersAreThere) {
    Player({"alpha", "Alpha Player"});
    Player({"beta.instance42", "Beta"});
    EXPECT_EQ(Link({{"Alpha Player"}}).ChosenPlayer(), P + "alpha");
    EXPECT_EQ(Link({{P + "beta"}}).ChosenPlayer(), P + "beta.instance42");

    LogCapture log;
    EXPECT_EQ(Link({{"Delta"}}).ChosenPlayer(), "");
    EXPECT_EQ(log.Messages("quorvel.player"),
              Lines{"no MPRIS player named \"Delta\"; on the bus: alpha (\"Alpha Player\"), "
                    "beta.instance42 (\"Beta\")"});
}

// A key's player, chosen once, takes its action: its section went by that player (named, for
// [player=GLOB], by its bus name's last part and its Identity), even if another has started
// playing since.
TEST_F(MprisLink, AnActionGoesToThePlayerChosenForItsKey) {
    StandInProcess& first = Player({"aaa.instance7", "A", "Playing"});
    StandInProcess& second = Player({"zzz", "Z"});
    MprisPlayerLink& link = Link();
    const PlayerChoice choice = link.Choose();
    ASSERT_EQ(choice.player, first.BusName());
    EXPECT_EQ(link.PlayerNames(choice), (Lines{"aaa.instance7", "A"}));
    ASSERT_TRUE(first.Do("Pause"));
    ASSERT_TRUE(second.Do("Play"));
    ASSERT_TRUE(TurnUntil(Loop(), [&] { return link.ChosenPlayer() == second.BusName(); }));
    link.Perform(Play, choice);
    Settle(link);
    EXPECT_EQ(first.Calls(), (Lines{"Pause", "PlayPause"}));
    EXPECT_EQ(second.Calls(), Lines{"Play"});
}

// What the players said of themselves is kept, so a press, a volume step included, is one
// call to one player, and no read, however many players run.
TEST_F(MprisLink, APressWithThreePlayersIsOneCallAndNoRead) {
    StandInProcess& first = Player({"aaa", "A"});
    StandInProcess& second = Player({"bbb", "B"});
    StandInProcess& third = Player({"ccc", "C"});
    MprisPlayerLink& link = Link();
    ASSERT_EQ(link.ChosenPlayer(), first.BusName());  // read once, as the program starts

    const std::size_t before =
        first.Requests().size() + second.Requests().size() + third.Requests().size();
    Press(link, {Play, Up});
    EXPECT_EQ(first.Requests().size() + second.Requests().size() + third.Requests().size(),
              before + 2);
    EXPECT_EQ(first.Calls(), (Lines{"PlayPause", "Volume 0.5500"}));
}

// The link follows what the players say of themselves: music paused by the remote, then a
// browser that plays and stops by itself, and then repeats its status while paused: the
// next press resumes the music, not the browser. (Whom each state chooses is the choice's.)
TEST_F(MprisLink, TheRemoteResumesWhatItPausedNotWhatStoppedByItself) {
    StandInProcess& music = Player({"music", "Music", "Playing"});
    StandInProcess& browser = Player({"browser", "Browser"});
    MprisPlayerLink& link = Link();
    Press(link, {Play});
    for (const char* method : {"Play", "Pause", "Pause"}) {
        ASSERT_TRUE(browser.Do(method));
    }
    Press(link, {Play});
    EXPECT_EQ(music.Calls(), (Lines{"PlayPause", "PlayPause"}));
    EXPECT_EQ(browser.Calls(), (Lines{"Play", "Pause", "Pause"}));
}

// next-player and previous-player move the remote round the players, saying where; it
// stays there, playing or not, until that player leaves.
TEST_F(MprisLink, NextPlayerMovesTheRemoteUntilThatPlayerLeaves) {
    StandInProcess& first = Player({"aaa", "A", "Playing"});
    StandInProcess& second = Player({"bbb", "B"});
    StandInProcess& third = Player({"ccc", "C"});
    MprisPlayerLink& link = Link();
    ASSERT_EQ(link.ChosenPlayer(), first.BusName());
    LogCapture log;
    Press(link, {PlayerRequest(PlayerAction::NextPlayer), Play,
                 PlayerRequest(PlayerAction::PreviousPlayer),
                 PlayerRequest(PlayerAction::PreviousPlayer), PlayerRequest(PlayerAction::Next)});
    EXPECT_EQ(log.Messages("quorvel.player"),
              (Lines{"the remote is on bbb (\"B\")", "the remote is on aaa (\"A\")",
                     "the remote is on ccc (\"C\")"}));
    EXPECT_EQ(third.Calls(), Lines{"Next"});

    // Free again: the one that became Playing last.
    ASSERT_TRUE(third.Kill());
    Press(link, {Play});
    EXPECT_EQ(second.Calls(), (Lines{"PlayPause", "PlayPause"}));
    EXPECT_EQ(first.Calls(), Lines{});
}

// --notify: a switch and a volume step are one notification each, with the player's
// Identity; a press is still one call to the player.
TEST_F(MprisLink, NotifiesASwitchAndAVolumeStepWithTheIdentity) {
    StandInNotifications server(bus_);
    StandInProcess& first = Player({"aaa", "A", "Playing"});
    StandInProcess& second = Player({"bbb", "Beta Player"});
    MprisPlayerLink& link = Link({}, PatientTimeoutMs, true);
    ASSERT_EQ(link.ChosenPlayer(), first.BusName());
    const std::size_t before = second.Requests().size();
    Press(link, {PlayerRequest(PlayerAction::NextPlayer), Play, Up});
    EXPECT_EQ(second.Requests().size(), before + 2);
    EXPECT_EQ(second.Calls(), (Lines{"PlayPause", "Volume 0.5500"}));

    const std::vector<StandInNotification> shown = server.WaitFor(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].summary, "Beta Player");
    EXPECT_EQ(shown[0].body, "The remote is on this player");
    EXPECT_EQ(shown[1].body, "Volume 55%");
}

// With no notification server, keys go on, and that is said once.
TEST_F(MprisLink, WithoutANotificationServerKeysGoOnAndItIsSaidOnce) {
    StandInProcess& player = Player({"standin"});
    LogCapture log;
    MprisPlayerLink& link = Link({}, PatientTimeoutMs, true);
    Press(link, {Up, Up, Up});
    // The bus's refusal comes in on the loop.
    EXPECT_TRUE(TurnUntil(Loop(), [&] { return log.Count("no desktop notification shown") > 0; }));
    Press(link, {Up});
    EXPECT_EQ(player.Calls(),
              (Lines{"Volume 0.5500", "Volume 0.6000", "Volume 0.6500", "Volume 0.7000"}));
    EXPECT_EQ(log.Count("no desktop notification shown"), 1);
}

TEST_F(MprisLink, PlayerStartedLateOrRestartedGetsTheNextCommand) {
    MprisPlayerLink& link = Link({{"standin"}});
    EXPECT_EQ(link.ChosenPlayer(), "");
    StandInProcess late(bus_, {"standin"});
    ASSERT_TRUE(late.Start());
    Press(link, {PlayerRequest(PlayerAction::Next)});
    ASSERT_TRUE(late.Kill());
    Press(link, {Play});  // to no one

    // Back under the same name, then as an instance under a new bus name.
    ASSERT_TRUE(late.Start());
    Press(link, {PlayerRequest(PlayerAction::Previous)});
    ASSERT_TRUE(late.Kill());
    StandInProcess& instance = Player({"standin.instance42"});
    Press(link, {PlayerRequest(PlayerAction::VolumeDown)});
    EXPECT_EQ(late.Calls(), (Lines{"Next", "Previous"}));
    EXPECT_EQ(instance.Calls(), Lines{"Volume 0.4500"});
}

TEST_F(MprisLink, FrozenPlayerCostsOneWaitAndOneThatAnswersIsChosen) {
    StandInProcess& frozen = Player({"aaa", "A", "Playing"});
    StandInProcess& awake = Player({"zzz", "Z", "Paused"});
    MprisPlayerLink& link = Link({}, MprisPlayerLink::ReplyTimeoutMs);  // the real bound
    ASSERT_EQ(link.ChosenPlayer(), frozen.BusName());

    // A held key: the first press is sent to the frozen player, the next waits for its
    // answer and does not call it again; once the first key's second has passed, the keys
    // go to the player that answers at once.
    frozen.Freeze();
    const std::size_t asked = frozen.Requests().size();
    Press(link, {Up, Up});
    Press(link, {Up, Up, Up});
    ASSERT_TRUE(frozen.Thaw());
    EXPECT_EQ(frozen.Requests().size(), asked + 1);
    EXPECT_EQ(awake.Calls(), (Lines{"Volume 0.5500", "Volume 0.6000", "Volume 0.6500"}));

    // Thawed, it answers and plays again: the next key is its own, and a step goes from
    // the volume the step it left unanswered made when it woke.
    Press(link, {Play, PlayerRequest(PlayerAction::VolumeDown)});
    EXPECT_EQ(frozen.Calls(), (Lines{"Volume 0.5500", "PlayPause", "Volume 0.5000"}));
}

// A player that leaves while its first reading is unanswered ends the wait for it.
TEST_F(MprisLink, APlayerLeavingDuringItsFirstReadingEndsTheWait) {
    StandInProcess& player = Player({"standin"});
    player.Freeze();
    // An hour: only the player's leaving ends the wait before the test's time-out.
    MprisPlayerLink& link = Link({}, 3'600'000);
    link.Perform(Play);
    EXPECT_FALSE(link.Idle());
    ASSERT_TRUE(player.Kill());
    Settle(link);
}

// A receiver being stopped is not held up by a player that does not answer.
TEST_F(MprisLink, InterruptEndsAWaitForAFrozenPlayer) {
    StandInProcess& player = Player({"standin"});
    player.Freeze();
    // An hour: only the interruption ends the wait before the test's time-out.
    MprisPlayerLink& link = Link({}, 3'600'000);
    link.Interrupt();
    EXPECT_EQ(link.ChosenPlayer(), "");
    EXPECT_TRUE(player.Thaw());
}

// Up never lowers a volume above full; down starts from full. A step that changes nothing
// still shows the level, as desktop volume displays do.
TEST_F(MprisLink, VolumeAboveOneIsNeverLowered) {
    StandInNotifications server(bus_);
    StandInProcess& player = Player({"standin", "Stand-In", "Playing", 1.2});
    MprisPlayerLink& link = Link({}, PatientTimeoutMs, true);
    Press(link, {Up, PlayerRequest(PlayerAction::VolumeDown)});
    EXPECT_EQ(player.Calls(), Lines{"Volume 0.9500"});
    const std::vector<StandInNotification> shown = server.WaitFor(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].body, "Volume 120%");
    EXPECT_EQ(shown[1].body, "Volume 95%");
}

// A Volume that is no number is never written back, by the volume keys or mute; said once.
TEST_F(MprisLink, VolumeThatIsNotFiniteIsLeftAlone) {
    for (const double volume : {NAN, INFINITY}) {
        StandInProcess player(bus_, {"standin", "Stand-In", "Playing", volume});
        ASSERT_TRUE(player.Start());
        LogCapture log;
        MprisPlayerLink& link = Link();
        Press(link,
              {Up, Up, PlayerRequest(PlayerAction::VolumeDown), PlayerRequest(PlayerAction::Mute)});
        EXPECT_EQ(player.Calls(), Lines{}) << volume;
        EXPECT_EQ(log.Count("its volume is left alone"), 1) << volume;
    }
}

TEST_F(MprisLink, BusRestartedAtTheSameAddressIsJoinedAgain) {
    StandInProcess& player = Player({"standin"});
    MprisPlayerLink& link = Link();
    Press(link, {Play});

    // The bus crashes: the loss is said once, however often the link tries again.
    {
        LogCapture log;
        bus_.Stop();
        Press(link, {Play, Up, Up});
        EXPECT_EQ(link.ChosenPlayer(), "");
        const Lines logged = log.Messages("quorvel.player");
        ASSERT_EQ(logged.size(), 1u) << testing::PrintToString(logged);
        EXPECT_NE(logged[0].find("lost the D-Bus session bus"), std::string::npos) << logged[0];
    }

    // Back at the same address, and the player with it: the next command reaches it.
    ASSERT_TRUE(bus_.Start()) << bus_.Error();
    ASSERT_TRUE(player.Kill());  // its connection went with the old daemon
    ASSERT_TRUE(player.Start());
    Press(link, {PlayerRequest(PlayerAction::Previous)});
    EXPECT_EQ(player.Calls(), (Lines{"PlayPause", "Previous"}));
}

TEST_F(MprisLink, BusDyingMidCallEndsTheCallNotTheProgram) {
    StandInProcess silent(bus_, {"standin", "Stand-In", "Paused", 0.5, false});
    ASSERT_TRUE(silent.Start());
    MprisPlayerLink& link = Link();
    link.Perform(Play);
    // The player has the call; the link waits for a reply that never comes.
    ASSERT_TRUE(TurnUntil(Loop(), [&] { return silent.Calls() == Lines{"PlayPause"}; }));
    bus_.Stop();
    Settle(link);

    ASSERT_TRUE(bus_.Start()) << bus_.Error();
    ASSERT_TRUE(silent.Kill());
    StandInProcess& player = Player({"standin"});
    Press(link, {PlayerRequest(PlayerAction::Next)});
    EXPECT_EQ(player.Calls(), Lines{"Next"});
}

TEST_F(MprisLink, WithoutASessionAddressTheBusInTheRuntimeFolderIsJoined) {
    StandInProcess& player = Player({"standin"});
    const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
    const ScopedVariable runtimeDir("XDG_RUNTIME_DIR", bus_.Folder());
    Press(Link({}, MprisPlayerLink::ReplyTimeoutMs), {PlayerRequest(PlayerAction::Next)});
    EXPECT_EQ(player.Calls(), Lines{"Next"});
}

class MprisLinkWithoutBus : public testing::TestWithParam<std::optional<std::string>>,
                            public LinkLoop {};

TEST_P(MprisLinkWithoutBus, FindsNoPlayerAndSaysSoOnce) {
    // Nothing may stand in for the missing bus: none found elsewhere, none launched.
    const ScopedVariable runtimeDir("XDG_RUNTIME_DIR", "/nonexistent/quorvel-test-runtime");
    const ScopedVariable display("DISPLAY", std::nullopt);
    const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", GetParam());
    LogCapture log;
    MprisPlayerLink& link = Link({}, MprisPlayerLink::ReplyTimeoutMs);
    EXPECT_EQ(link.ChosenPlayer(), "");
    for (const PlayerRequest& id : {Play, Up, Up}) {
        link.Perform(id);
    }
    Settle(link);
    const Lines logged = log.Messages("quorvel.player");
    ASSERT_EQ(logged.size(), 1u) << testing::PrintToString(logged);
    EXPECT_NE(logged[0].find("no D-Bus session bus"), std::string::npos) << logged[0];
}

INSTANTIATE_TEST_SUITE_P(SessionAddress, MprisLinkWithoutBus,
                         testing::Values("unix:path=/nonexistent/quorvel-test-bus", std::nullopt,
                                         "autolaunch:"));

// A bus that takes the connection and never answers costs the keys one wait in all, with
// player sections in the key map or without: a key's choosing and sending share its
// deadline, and the bus is not waited for again until it answers.
class WedgedBus : public testing::TestWithParam<const char*>, public LinkLoop {};

TEST_P(WedgedBus, CostsTheKeysOneWaitInAll) {
    const ScratchFolder folder;
    const int listening = ListenOn(folder.FilePath("bus"));
    ASSERT_GE(listening, 0);
    const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder.FilePath("bus"));
    LogCapture log;
    MprisPlayerLink& link = Link({}, MprisPlayerLink::ReplyTimeoutMs);
    std::vector<std::string> problems;
    const SharedKeyMap keys(KeyMap::Parse(GetParam(), "keys.conf", problems));
    ASSERT_EQ(problems, Lines{});
    MemoryHistoryList list;
    HistoryLog history(list);
    ScriptedKeySource presses({::Press(0x60), ::Press(0x60), ::Press(0x60)});
    SignalCycle cycle(presses, history, link, keys);
    cycle.Attach(Loop());
    const auto start = std::chrono::steady_clock::now();
    cycle.Run();
    Settle(link);
    // Not a speed: a key that waited its deadline twice, or each key its own, takes longer.
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(MprisPlayerLink::ReplyTimeoutMs));
    EXPECT_EQ(list.lines, (Lines{"PLAY!", "PLAY!", "PLAY!", "Waiting for new signal..."}));
    EXPECT_EQ(log.Count("the bus did not list its players in time"), 1);
    ::close(listening);
}

INSTANTIATE_TEST_SUITE_P(KeyMaps, WedgedBus,
                         testing::Values("key 0x60 play-pause\n",
                                         "key 0x60 play-pause\n[player=vlc]\nkey 0x60 next\n"));

}  // namespace
