// The session bus fails the whole program: quorvel --console on a bus that never answers.
// (A player that freezes or leaves is the link's own test.)
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/doubles/scratch_folder.h"
#include "tests/doubles/unix_socket.h"
#include "tests/e2e/programs.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;

// A session bus that takes connections and never says a word: the keys show at once, none
// waiting on the bus, and the program ends at once when asked.
TEST(WedgedBus, KeysShowAndATerminationEndsTheProgram) {
    ScratchFolder folder;
    const std::string socketPath = folder.FilePath("bus");
    const int listener = ListenOn(socketPath);
    ASSERT_GE(listener, 0);

    auto port = VirtualPort::CreatePty();
    ChildProcess quorvel;
    ASSERT_TRUE(quorvel.Start(Program(QUORVEL_BINARY, {"--console", "--port", port->readerPath()},
                                      "unix:path=" + socketPath)))
        << quorvel.Error();
    ASSERT_TRUE(port->WaitForRawReader(Deadline));
    ASSERT_TRUE(port->Write({0x91, 0x60, 0x91, 0x18, 0x91, 0x98}));
    quorvel.WaitForLines(3, Deadline);
    EXPECT_EQ(Texts(quorvel.Lines()), (Lines{"PLAY!", "NEXT!", "PREV!"}));
    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
    ::close(listener);
}

}  // namespace
