// The player freezes while a key is held: quorvel --console on a private bus, commanding
// the stand-in player, which is stopped (SIGSTOP) so that it takes in nothing and never
// replies, then continued.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;

class PlayerFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Started()) << bus_.Error();
        ASSERT_TRUE(player_.Start());
        ASSERT_TRUE(quorvel_.Start(Program(
            QUORVEL_BINARY, {"--console", "--player", "standin", "--port", port_->readerPath()},
            bus_.Address())))
            << quorvel_.Error();
        ASSERT_TRUE(port_->WaitForRawReader(Deadline));
    }

    void TearDown() override { EXPECT_EQ(quorvel_.Stop(SIGTERM), 0); }

    // Sends bytes and returns the history lines they added (waits for as many as expected).
    Lines Send(const std::vector<std::uint8_t>& bytes, std::size_t expectedLines) {
        const std::size_t from = quorvel_.Lines().size();
        EXPECT_TRUE(port_->Write(bytes, Deadline));
        quorvel_.WaitForLines(from + expectedLines, Deadline);
        return Texts(quorvel_.Lines(from));
    }

    PrivateBus bus_;
    StandInProcess player_{bus_, {"standin"}};
    std::unique_ptr<VirtualPort> port_ = VirtualPort::CreatePty();
    ChildProcess quorvel_;
};

TEST_F(PlayerFaults, HeldKeyOnAFrozenPlayerWaitsOnceAndTheThawedPlayerObeysTheNextKey) {
    EXPECT_EQ(Send({0x91, 0x60}, 1), Lines{"PLAY!"});
    EXPECT_EQ(player_.WaitForCalls(1), Lines{"PlayPause"});

    // Every line of the held key shows; only its first press calls the frozen player, and
    // the presses after it are dropped rather than queued for it.
    player_.Freeze();
    const std::size_t asked = player_.Requests().size();
    EXPECT_EQ(Send({0x91, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0}, 5),
              (Lines{"VOL_UP!", "  >>REP>>VOL_UP!", "  >>REP>>VOL_UP!", "  >>REP>>VOL_UP!",
                     "  >>REP>>VOL_UP!"}));
    ASSERT_TRUE(player_.Thaw());
    EXPECT_EQ(player_.Requests().size(), asked + 1);

    // The step it left unanswered took effect when it woke; the next key steps from there.
    EXPECT_EQ(Send({0x91, 0x70}, 1), Lines{"VOL_DOWN!"});
    EXPECT_EQ(player_.WaitForCalls(3), (Lines{"PlayPause", "Volume 0.5500", "Volume 0.5000"}));
}

}  // namespace

namespace {

// A session bus that takes connections and never says a word: the keys still show, and
// the program ends at once when asked.
TEST(WedgedBus, KeysShowAndATerminationEndsTheProgram) {
    ScratchFolder folder;
    const std::string socketPath = folder.FilePath("bus");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 16), 0);

    auto port = VirtualPort::CreatePty();
    ChildProcess quorvel;
    ASSERT_TRUE(quorvel.Start(Program(QUORVEL_BINARY, {"--console", "--port", port->readerPath()},
                                      "unix:path=" + socketPath)))
        << quorvel.Error();
    ASSERT_TRUE(port->WaitForRawReader(Deadline));
    ASSERT_TRUE(port->Write({0x91, 0x60, 0x91, 0x18, 0x91, 0x98}));
    quorvel.WaitForLines(2, Deadline);
    EXPECT_EQ(Texts(quorvel.Lines()), (Lines{"PLAY!", "NEXT!"}));
    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
    ::close(listener);
}

}  // namespace
