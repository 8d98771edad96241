// A key map section that follows the player: quorvel --console on a private bus with two
// stand-in players, the remote moved from one to the other by next-player. The section is
// matched by the bus name's last part for one, by the Identity for the other.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;

TEST(PlayerSections, AKeyDoesWhatTheCommandedPlayersSectionSays) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess alpha(bus, {"alpha.instance7", "Alpha", "Playing"});
    StandInProcess second(bus, {"second", "Beta Player"});
    ASSERT_TRUE(alpha.Start());
    ASSERT_TRUE(second.Start());
    ScratchFolder folder;
    const std::string map = folder.FilePath("keys.conf");
    std::ofstream(map) << "key 0x60 play-pause\nkey 0x0A next-player\n"
                          "[player=ALPHA.*]\nkey 0x60 next\n"
                          "[player=beta*]\nkey 0x60 pause\n";
    auto port = VirtualPort::CreatePty();
    ChildProcess quorvel;
    ASSERT_TRUE(quorvel.Start(Program(
        QUORVEL_BINARY, {"--console", "--keys", map, "--port", port->readerPath()}, bus.Address())))
        << quorvel.Error();
    ASSERT_TRUE(port->WaitForRawReader(Deadline));
    const auto send = [&](std::vector<std::uint8_t> bytes) {
        const std::size_t from = quorvel.Lines().size();
        EXPECT_TRUE(port->Write(bytes, Deadline));
        quorvel.WaitForLines(from + 1, Deadline);
        const Lines lines = Texts(quorvel.Lines(from));
        return lines.empty() ? std::string() : lines.front();
    };

    // The playing one is commanded, by its bus name's section.
    EXPECT_EQ(send({0x91, 0x60}), "NEXT!");
    EXPECT_EQ(alpha.WaitForCalls(1), Lines{"Next"});
    // Moved to the other, the same key goes by its Identity's section.
    EXPECT_EQ(send({0x91, 0x0A}), "NEXT_PLAYER!");
    EXPECT_EQ(send({0x91, 0x60}), "PAUSE!");
    EXPECT_EQ(second.WaitForCalls(1), Lines{"Pause"});
    EXPECT_EQ(alpha.Calls(), Lines{"Next"});
    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
}

}  // namespace
