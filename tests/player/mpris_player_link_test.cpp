#include "player/mpris_player_link.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <thread>

#include "history/history_log.h"
#include "player/player_commands.h"
#include "receiver/signal_cycle.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/memory_history_list.h"
#include "tests/doubles/scripted_byte_source.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"

namespace {

using Lines = std::vector<std::string>;
const std::string W = "Waiting for new signal...";

// Generous, so that a slow machine cannot make a healthy player look hung. Tests of the
// real bound use the link's default.
constexpr int PatientTimeoutMs = 20000;

// The signal cycle over bytes on a thread of its own, as the receiver runs it.
class CycleThread {
  public:
    CycleThread(PlayerLink& link, std::vector<int> bytes)
        : source_(std::move(bytes), &log_), thread_([this, &link] {
              SignalCycle(source_, log_, link).Run();
              done_ = true;
          }) {}
    ~CycleThread() {
        if (thread_.joinable()) {
            Finish();
        }
    }
    CycleThread(const CycleThread&) = delete;
    CycleThread& operator=(const CycleThread&) = delete;

    bool Done() const { return done_; }

    // Waits for the cycle to end and returns the history it wrote.
    Lines Finish() {
        const QDeadlineTimer deadline(std::chrono::minutes(2));
        while (!done_ && !deadline.hasExpired()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!done_) {
            std::fputs("the signal cycle is stuck in the player link\n", stderr);
            std::abort();
        }
        thread_.join();
        return list_.lines;
    }

  private:
    MemoryHistoryList list_;
    HistoryLog log_{list_};
    ScriptedByteSource source_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Runs the cycle over bytes on a thread of its own and returns the history it wrote.
Lines RunCycleOnThread(PlayerLink& link, std::vector<int> bytes) {
    return CycleThread(link, std::move(bytes)).Finish();
}

class MprisLink : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(bus_.Started()) << bus_.Error().toStdString(); }

    PrivateBus bus_;
};

TEST_F(MprisLink, ByteStreamReachesThePlayerInTheCyclesOrder) {
    StandInProcess player(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")});
    ASSERT_TRUE(player.Start());
    // Built here, used on the receiver's thread.
    MprisPlayerLink link({}, bus_.Address().toStdString(), PatientTimeoutMs);
    EXPECT_EQ(link.FindPlayerWindow(), player.BusName().toStdString());

    const Lines history = RunCycleOnThread(link, {0x91, 0x60, 0x91, 0x98, 0x91, 0x18, 0x91, 0xB0,
                                                  0x0D, 0xB0, 0x91, 0x70, 0x0D, 0x70, 0x0D, 0x60});

    EXPECT_EQ(history, (Lines{"PLAY!", "PREV!", "NEXT!", "VOL_UP!", "  >>REP>>VOL_UP!", "VOL_DOWN!",
                              "  >>REP>>VOL_DOWN!", "  >>REP>>96", W}));
    // Each command was complete when the cycle went on, so all are recorded by now.
    EXPECT_EQ(player.Calls(), (Lines{"PlayPause", "Previous", "Next", "Volume 0.5500",
                                     "Volume 0.6000", "Volume 0.5500", "Volume 0.5000"}));
}

TEST_F(MprisLink, OtherIdentifiersSendNothing) {
    StandInProcess player(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")});
    ASSERT_TRUE(player.Start());
    MprisPlayerLink link({}, bus_.Address().toStdString(), PatientTimeoutMs);
    for (int id : {0, -1, 273, 18807, 18809, 18812, 18814, 18817, 0x4978 + 0x10000}) {
        link.SendPlayerCommand(id);
    }
    link.SendPlayerCommand(PlayerCommand::CmdNext);
    EXPECT_EQ(player.Calls(), Lines{"Next"});
}

TEST_F(MprisLink, FindsPlayersByWholeBusNameOrIdentity) {
    std::vector<std::unique_ptr<StandInProcess>> players;
    for (StandInSetup setup : {
             StandInSetup{QStringLiteral("alpha"), QStringLiteral("Alpha Player")},
             StandInSetup{QStringLiteral("beta.instance42"), QStringLiteral("Beta")},
             StandInSetup{QStringLiteral("gamma"), QStringLiteral("Delta Extra")},
             StandInSetup{QStringLiteral("playerctld"), QStringLiteral("playerctld"),
                          QStringLiteral("Playing")},
         }) {
        players.push_back(std::make_unique<StandInProcess>(bus_, setup));
        ASSERT_TRUE(players.back()->Start());
    }
    const std::string P = "org.mpris.MediaPlayer2.";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"alpha", P + "alpha"},
        {"Alpha Player", P + "alpha"},
        {"Alpha", ""},
        {"ALPHA", ""},
        {"beta", P + "beta.instance42"},
        {"beta.instance42", P + "beta.instance42"},
        {"Beta", P + "beta.instance42"},
        {"Delta", ""},
        {"Delta Extra", P + "gamma"},
        {"playerctld", P + "playerctld"},
        {"", P + "alpha"},  // the Playing proxy is never taken unasked
    };
    for (const auto& [wanted, found] : cases) {
        MprisPlayerLink link(wanted, bus_.Address().toStdString(), PatientTimeoutMs);
        EXPECT_EQ(link.FindPlayerWindow(), found) << "--player \"" << wanted << '"';
    }
}

TEST_F(MprisLink, PlayingPlayerIsTakenFirstWhenNoneIsNamed) {
    StandInProcess paused(bus_, {QStringLiteral("aaa"), QStringLiteral("A")});
    StandInProcess playing(bus_,
                           {QStringLiteral("zzz"), QStringLiteral("Z"), QStringLiteral("Playing")});
    ASSERT_TRUE(paused.Start());
    ASSERT_TRUE(playing.Start());
    MprisPlayerLink link({}, bus_.Address().toStdString(), PatientTimeoutMs);
    link.SendPlayerCommand(PlayerCommand::CmdPlay);
    EXPECT_EQ(playing.Calls(), Lines{"PlayPause"});
    EXPECT_EQ(paused.Calls(), Lines{});
}

TEST_F(MprisLink, PlayerStartedLateOrRestartedGetsTheNextCommand) {
    MprisPlayerLink link("standin", bus_.Address().toStdString(), PatientTimeoutMs);
    EXPECT_EQ(link.FindPlayerWindow(), "");
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x60, 0x91, 0xB0}), (Lines{"PLAY!", "VOL_UP!", W}));

    StandInProcess late(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")});
    ASSERT_TRUE(late.Start());
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x18}), (Lines{"NEXT!", W}));
    EXPECT_EQ(late.Calls(), Lines{"Next"});

    // Gone for good: the cycle goes on.
    ASSERT_TRUE(late.Kill());
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x60}), (Lines{"PLAY!", W}));

    // Back under the same name.
    ASSERT_TRUE(late.Start());
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x98}), (Lines{"PREV!", W}));
    EXPECT_EQ(late.Calls(), (Lines{"Next", "Previous"}));

    // Back as a second instance under a new bus name.
    ASSERT_TRUE(late.Kill());
    StandInProcess instance(bus_, {QStringLiteral("standin.instance42"), QStringLiteral("S")});
    ASSERT_TRUE(instance.Start());
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x70}), (Lines{"VOL_DOWN!", W}));
    EXPECT_EQ(instance.Calls(), Lines{"Volume 0.4500"});
}

TEST_F(MprisLink, HungPlayerDelaysTheCycleButDoesNotStopIt) {
    StandInProcess player(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")});
    ASSERT_TRUE(player.Start());
    MprisPlayerLink held({}, bus_.Address().toStdString());  // the real bound
    ASSERT_EQ(held.FindPlayerWindow(), player.BusName().toStdString());

    player.Freeze();
    EXPECT_EQ(RunCycleOnThread(held, {0x91, 0x60, 0x91, 0xB0, 0x91, 0x18}),
              (Lines{"PLAY!", "VOL_UP!", "NEXT!", W}));
    player.Thaw();

    // Once awake it works through what was queued (the volume step gave up after reading),
    // and the link still reaches it.
    EXPECT_EQ(RunCycleOnThread(held, {0x91, 0x98}), (Lines{"PREV!", W}));
    EXPECT_EQ(player.WaitForCalls(3), (Lines{"PlayPause", "Next", "Previous"}));
}

TEST_F(MprisLink, BusRestartedAtTheSameAddressIsJoinedAgain) {
    StandInProcess player(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")});
    ASSERT_TRUE(player.Start());
    MprisPlayerLink link({}, bus_.Address().toStdString(), PatientTimeoutMs);
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x60}), (Lines{"PLAY!", W}));
    EXPECT_EQ(player.Calls(), Lines{"PlayPause"});

    // The bus crashes: the keys still show, the program goes on and the loss is said once,
    // however often the link tries again.
    {
        LogCapture log;
        bus_.Stop();
        EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x18, 0x91, 0xB0, 0x0D, 0xB0}),
                  (Lines{"NEXT!", "VOL_UP!", "  >>REP>>VOL_UP!", W}));
        EXPECT_EQ(link.FindPlayerWindow(), "");
        const Lines logged = log.Messages("quorvel.player");
        ASSERT_EQ(logged.size(), 1u) << testing::PrintToString(logged);
        EXPECT_NE(logged[0].find("lost the D-Bus session bus"), std::string::npos) << logged[0];
    }

    // Back at the same address, and the player with it: the next command reaches it.
    ASSERT_TRUE(bus_.Start()) << bus_.Error().toStdString();
    ASSERT_TRUE(player.Kill());  // its connection went with the old daemon
    ASSERT_TRUE(player.Start());
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x98}), (Lines{"PREV!", W}));
    EXPECT_EQ(player.Calls(), (Lines{"PlayPause", "Previous"}));
}

TEST_F(MprisLink, BusDyingMidCallEndsTheCallNotTheProgram) {
    StandInProcess silent(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In"),
                                 QStringLiteral("Paused"), 0.5, false});
    ASSERT_TRUE(silent.Start());
    MprisPlayerLink link({}, bus_.Address().toStdString(), PatientTimeoutMs);
    CycleThread cycle(link, {0x91, 0x60});
    // The player has the call; the link waits for a reply that never comes.
    ASSERT_EQ(silent.WaitForCalls(1), Lines{"PlayPause"});
    EXPECT_FALSE(cycle.Done());

    bus_.Stop();
    EXPECT_EQ(cycle.Finish(), (Lines{"PLAY!", W}));

    ASSERT_TRUE(bus_.Start()) << bus_.Error().toStdString();
    ASSERT_TRUE(silent.Kill());
    StandInProcess player(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")});
    ASSERT_TRUE(player.Start());
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x18}), (Lines{"NEXT!", W}));
    EXPECT_EQ(player.Calls(), Lines{"Next"});
}

struct VolumeCase {
    const char* name;
    double start;
    std::vector<int> commands;
    Lines recorded;
};

void PrintTo(const VolumeCase& c, std::ostream* os) {
    *os << c.name;
}

class MprisLinkVolume : public MprisLink, public testing::WithParamInterface<VolumeCase> {};

TEST_P(MprisLinkVolume, StepsAndClamps) {
    const VolumeCase& c = GetParam();
    StandInProcess player(bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In"),
                                 QStringLiteral("Playing"), c.start});
    ASSERT_TRUE(player.Start());
    MprisPlayerLink link({}, bus_.Address().toStdString(), PatientTimeoutMs);
    for (int id : c.commands) {
        link.SendPlayerCommand(id);
    }
    EXPECT_EQ(player.Calls(), c.recorded);
}

constexpr int Up = PlayerCommand::CmdVolUp;
constexpr int Down = PlayerCommand::CmdVolDown;

INSTANTIATE_TEST_SUITE_P(
    Ends, MprisLinkVolume,
    testing::Values(VolumeCase{"UpStopsAtOne", 0.98, {Up, Up}, {"Volume 1.0000", "Volume 1.0000"}},
                    VolumeCase{
                        "DownStopsAtZero", 0.03, {Down, Down}, {"Volume 0.0000", "Volume 0.0000"}},
                    VolumeCase{"DownFromOne", 1.0, {Down}, {"Volume 0.9500"}},
                    VolumeCase{"UpFromZero", 0.0, {Up}, {"Volume 0.0500"}},
                    VolumeCase{"AboveOneComesBackIntoRange", 1.5, {Up}, {"Volume 1.0000"}},
                    VolumeCase{"BelowZeroComesBackIntoRange", -0.5, {Down}, {"Volume 0.0000"}}),
    [](const testing::TestParamInfo<VolumeCase>& info) { return std::string(info.param.name); });

// Sets an environment variable (or unsets it, for nullopt) while alive.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedVariable() { Set(old_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    void Set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_, value->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

struct NoBusCase {
    const char* name;
    std::optional<std::string> sessionAddress;
};

void PrintTo(const NoBusCase& c, std::ostream* os) {
    *os << c.name;
}

class MprisLinkWithoutBus : public testing::TestWithParam<NoBusCase> {};

TEST_P(MprisLinkWithoutBus, FindsNoPlayerSaysSoOnceAndTheCycleGoesOn) {
    PrepareQtWithoutSessionBus();
    // Nothing may stand in for the missing address: no bus found elsewhere, none launched.
    const ScopedVariable runtimeDir("XDG_RUNTIME_DIR", "/nonexistent/quorvel-test-runtime");
    const ScopedVariable display("DISPLAY", std::nullopt);
    const ScopedVariable address("DBUS_SESSION_BUS_ADDRESS", GetParam().sessionAddress);
    LogCapture log;
    MprisPlayerLink link;
    EXPECT_EQ(link.FindPlayerWindow(), "");
    EXPECT_EQ(RunCycleOnThread(link, {0x91, 0x60, 0x91, 0xB0, 0x0D, 0xB0, 0x91, 0x18, 0x05}),
              (Lines{"PLAY!", "VOL_UP!", "  >>REP>>VOL_UP!", "NEXT!", W, "5", W}));
    EXPECT_EQ(link.FindPlayerWindow(), "");
    const Lines logged = log.Messages("quorvel.player");
    ASSERT_EQ(logged.size(), 1u) << testing::PrintToString(logged);
    EXPECT_NE(logged[0].find("no D-Bus session bus"), std::string::npos) << logged[0];
}

INSTANTIATE_TEST_SUITE_P(
    SessionAddress, MprisLinkWithoutBus,
    testing::Values(NoBusCase{"NobodyListens", "unix:path=/nonexistent/quorvel-test-bus"},
                    NoBusCase{"Unset", std::nullopt}, NoBusCase{"Empty", ""},
                    NoBusCase{"Autolaunch", "autolaunch:"},
                    NoBusCase{"AutolaunchAfterAnother",
                              "unix:path=/nonexistent/quorvel-test-bus;autolaunch:"}),
    [](const testing::TestParamInfo<NoBusCase>& info) { return std::string(info.param.name); });

}  // namespace
