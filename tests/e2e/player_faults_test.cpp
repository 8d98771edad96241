// The player fails while keys keep coming: quorvel --console on a private bus, commanding
// the stand-in player, which is killed and restarted, or frozen so that it never replies.
#include <gtest/gtest.h>

#include <QProcess>
#include <string>
#include <vector>

#include "receiver/signal_cycle.h"
#include "tests/e2e/history_lines.h"
#include "tests/e2e/program_process.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

namespace {

using Lines = HistoryLines::Lines;

const std::string W = SignalCycle::WaitingText;

class PlayerFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Started()) << bus_.Error().toStdString();
        ASSERT_TRUE(player_.Start());
        ASSERT_TRUE(StartChild(quorvel_, QStringLiteral(QUORVEL_BINARY),
                               {"--console", "--player", "standin", "--port",
                                QString::fromStdString(port_->readerPath())},
                               ProgramEnvironment(bus_.Address())));
        ASSERT_TRUE(port_->WaitForRawReader(std::chrono::milliseconds(DeadlineMs)));
    }

    void TearDown() override {
        if (quorvel_.state() != QProcess::NotRunning) {
            EXPECT_TRUE(Terminate(quorvel_)) << "quorvel did not end on SIGTERM";
            EXPECT_EQ(quorvel_.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(quorvel_.exitCode(), 0);
        }
    }

    // Sends bytes and returns the history lines they added (waits for as many as expected).
    Lines Send(const std::vector<std::uint8_t>& bytes, std::size_t expectedLines) {
        const std::size_t from = history_.All().size();
        EXPECT_TRUE(port_->Write(bytes, std::chrono::milliseconds(DeadlineMs)));
        history_.ReadUntil([&](const Lines& lines) { return lines.size() >= from + expectedLines; },
                           DeadlineMs);
        return Lines(history_.All().begin() + static_cast<long>(from), history_.All().end());
    }

    PrivateBus bus_;
    StandInProcess player_{bus_, {QStringLiteral("standin"), QStringLiteral("Stand-In")}};
    std::unique_ptr<VirtualPort> port_ = VirtualPort::CreatePty();
    QProcess quorvel_;
    HistoryLines history_{quorvel_};
};

TEST_F(PlayerFaults, KilledPlayerRestartedGetsTheNextCommand) {
    EXPECT_EQ(Send({0x91, 0x60}, 1), Lines{"PLAY!"});
    EXPECT_EQ(player_.WaitForCalls(1), Lines{"PlayPause"});

    // Killed mid-stream: keys still show, the commands reach no one.
    ASSERT_TRUE(player_.Kill());
    EXPECT_EQ(Send({0x91, 0x18, 0x05, 0x91, 0xB0}, 4), (Lines{"NEXT!", W, "5", "VOL_UP!"}));

    // Back under the same name: found again at the next key.
    ASSERT_TRUE(player_.Start());
    EXPECT_EQ(Send({0x91, 0x98, 0x0D, 0x70}, 2), (Lines{"PREV!", "  >>REP>>VOL_DOWN!"}));
    EXPECT_EQ(player_.WaitForCalls(3), (Lines{"PlayPause", "Previous", "Volume 0.4500"}));
}

TEST_F(PlayerFaults, PlayerThatNeverRepliesDoesNotStopTheCycle) {
    EXPECT_EQ(Send({0x91, 0x60}, 1), Lines{"PLAY!"});
    EXPECT_EQ(player_.WaitForCalls(1), Lines{"PlayPause"});

    // Each command gives up on the frozen player, and the history keeps advancing.
    player_.Freeze();
    EXPECT_EQ(Send({0x91, 0x18, 0x2A, 0x91, 0xB0, 0x91, 0x98}, 5),
              (Lines{"NEXT!", W, "42", "VOL_UP!", "PREV!"}));
    player_.Thaw();

    // Awake, it works through what was queued, and the next command still reaches it.
    EXPECT_EQ(Send({0x91, 0x60}, 1), Lines{"PLAY!"});
    EXPECT_EQ(player_.WaitForCalls(4), (Lines{"PlayPause", "Next", "Previous", "PlayPause"}));
}

}  // namespace
