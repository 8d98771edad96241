// The whole chain, out of process: the virtual receiver sends a scripted session through
// a pseudo-terminal to quorvel in console mode, which commands the stand-in player on a
// private bus. Checks the history lines and the player's calls, in order.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/doubles/eventually.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tests/lircd/lircd_rig.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

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

    // Each command completed before its line was written, so every call is recorded by now.
    EXPECT_EQ(player.Calls(),
              (Lines{"PlayPause", "Next", "Previous", "Volume 0.5500", "Volume 0.5000",
                     "Volume 0.5500", "Volume 0.6000", "Volume 0.6500", "PlayPause"}));

    // Ended cleanly, with nothing more to say.
    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
    EXPECT_EQ(Texts(quorvel.Lines()), expected);
    EXPECT_EQ(sender.Stop(SIGTERM), 0);
}

// A serial receiver and a real lircd at once: lircd's buttons by name, a repeat, an
// unbound button; each one's outage said, and the other's keys acting meanwhile.
TEST(ConsoleSession, ASerialReceiverAndLircdActAtOnceAndThroughEachOthersOutage) {
    if (!LircdRig::Available()) {
        GTEST_SKIP() << "lircd and irsend are not installed (Debian's lirc package)";
    }
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());
    LircdRig lircd;
    ASSERT_TRUE(lircd.Start()) << lircd.Error();
    auto serial = VirtualPort::CreatePty();

    ChildProcess quorvel;
    ASSERT_TRUE(quorvel.Start(Program(
        QUORVEL_BINARY, {"--console", "--port", serial->readerPath(), "--lircd=" + lircd.Socket()},
        bus.Address())))
        << quorvel.Error();
    // Keys sent before it has connected would go nowhere.
    ASSERT_TRUE(serial->WaitForRawReader(Deadline));
    ASSERT_TRUE(Eventually([&] { return lircd.Clients() > 0; }));
    // The lines that come from keys, and those that say an outage, in order.
    std::size_t seen = 0;
    const auto shown = [&quorvel, &seen](std::size_t count) {
        Lines said;
        for (; said.size() < count && quorvel.WaitForLines(seen + 1, Deadline) > seen; ++seen) {
            const std::string text = quorvel.Lines(seen).front().text;
            if (text != "Waiting for new signal..." && text != "-1") {
                said.push_back(text);
            }
        }
        return said;
    };
    ASSERT_TRUE(lircd.Send("KEY_PLAYPAUSE"));
    ASSERT_TRUE(lircd.Send("KEY_VOLUMEUP"));
    ASSERT_TRUE(lircd.Send("KEY_VOLUMEUP", 1));
    ASSERT_TRUE(lircd.Send("KEY_RED"));
    EXPECT_EQ(shown(4), (Lines{"PLAY!", "VOL_UP!", "  >>REP>>VOL_UP!", "KEY_RED"}));
    lircd.Stop();
    ASSERT_TRUE(serial->Write({0x91, 0x18}));
    EXPECT_EQ(shown(2), (Lines{"COM READ ERROR!", "NEXT!"}));

    ASSERT_TRUE(lircd.Start()) << lircd.Error();
    ASSERT_TRUE(Eventually([&] { return lircd.Clients() > 0; }));
    serial.reset();  // unplugged
    ASSERT_TRUE(lircd.Send("KEY_PLAYPAUSE"));
    // The serial port's tries that fail come as they come, each one line.
    Lines rest;
    while (rest.empty() || rest.back() == "COM READ ERROR!") {
        const Lines more = shown(1);
        ASSERT_EQ(more.size(), 1u) << "no more lines";
        rest.push_back(more.front());
    }
    EXPECT_GE(rest.size(), 2u);
    EXPECT_EQ(rest.back(), "PLAY!");
    EXPECT_EQ(player.Calls(),
              (Lines{"PlayPause", "Volume 0.5500", "Volume 0.6000", "Next", "PlayPause"}));
    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
}

// A source that is not there yet is waited for, and why is said on standard error at once,
// naming it: all a service's journal shows.
TEST(ConsoleSession, SaysWhyASourceIsMissing) {
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"--lircd=/nonexistent/lircd"}, "no lircd socket at /nonexistent/lircd"},
        {{"--input", "/dev/input/quorvel-missing"}, "no input device /dev/input/quorvel-missing"},
        {{"--input", "name=NOTHING"}, "no input device name=NOTHING"},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        ChildProcess::Options options =
            Program(QUORVEL_BINARY, {"--console", "--no-player"}, "unix:path=/nonexistent");
        options.argv.insert(options.argv.end(), c.args.begin(), c.args.end());
        options.errorPath = folder.FilePath("stderr");
        ChildProcess quorvel;
        ASSERT_TRUE(quorvel.Start(options)) << quorvel.Error();
        const auto said = [&] {
            std::ifstream in(options.errorPath);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        EXPECT_TRUE(Eventually([&] { return said().find(c.said) != std::string::npos; })) << said();
        ASSERT_GE(quorvel.WaitForLines(1, Deadline), 1u);
        EXPECT_EQ(quorvel.Lines().front().text, "Err");
        EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
    }
}

}  // namespace
