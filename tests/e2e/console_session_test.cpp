// The whole chain, out of process: the virtual receiver sends a scripted session through
// a pseudo-terminal to quorvel in console mode, which commands the stand-in player on a
// private bus. Checks the history lines and the player's calls, in order.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/e2e/programs.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"

namespace {

using Lines = std::vector<std::string>;

TEST(ConsoleSession, VirtualReceiverDrivesTheHistoryAndThePlayer) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());

    // The five keys, a held volume key, a held play key, an unknown key, a stray byte.
    ChildProcess sender;
    ASSERT_TRUE(sender.Start(Program(QUORVEL_SEND_BINARY,
                                     {"play", "next", "prev", "vol+", "vol-", "hold", "vol+", "2",
                                      "hold", "play", "1", "raw", "0x91", "0x2a", "raw", "0x05"},
                                     bus.Address())))
        << sender.Error();
    ASSERT_EQ(sender.WaitForLines(1, Deadline), 1u) << "quorvel-send printed no port";
    const std::string port = sender.Lines().front().text;

    ChildProcess quorvel;
    ASSERT_TRUE(
        quorvel.Start(Program(QUORVEL_BINARY, {"--console", "--port", port}, bus.Address())))
        << quorvel.Error();

    // Into a pipe only final lines are printed: the last waiting line stays unprinted.
    const Lines expected{"PLAY!",
                         "NEXT!",
                         "PREV!",
                         "VOL_UP!",
                         "VOL_DOWN!",
                         "VOL_UP!",
                         "  >>REP>>VOL_UP!",
                         "  >>REP>>VOL_UP!",
                         "PLAY!",
                         "  >>REP>>96",
                         "42",
                         "Waiting for new signal...",
                         "5"};
    quorvel.WaitForLines(expected.size(), Deadline);
    EXPECT_EQ(Texts(quorvel.Lines()), expected);

    // Each command was sent before its line was written.
    EXPECT_EQ(player.WaitForCalls(9),
              (Lines{"PlayPause", "Next", "Previous", "Volume 0.5500", "Volume 0.5000",
                     "Volume 0.5500", "Volume 0.6000", "Volume 0.6500", "PlayPause"}));

    // Ended cleanly, with nothing more to say.
    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
    EXPECT_EQ(Texts(quorvel.Lines()), expected);
    EXPECT_EQ(sender.Stop(SIGTERM), 0);
}

}  // namespace
