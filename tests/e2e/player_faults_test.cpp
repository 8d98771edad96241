// The player freezes while a key is held: quorvel --console on a private bus, commanding
// the stand-in player, which is stopped (SIGSTOP) so that it takes in nothing and never
// replies, then continued.
#include <gtest/gtest.h>

#include <QProcess>
#include <string>
#include <vector>

#include "tests/e2e/history_lines.h"
#include "tests/e2e/program_process.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

namespace {

using Lines = HistoryLines::Lines;

class PlayerFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Started()) << bus_.Error();
        ASSERT_TRUE(player_.Start());
        ASSERT_TRUE(StartChild(quorvel_, QStringLiteral(QUORVEL_BINARY),
                               {"--console", "--player", "standin", "--port",
                                QString::fromStdString(port_->readerPath())},
                               ProgramEnvironment(QString::fromStdString(bus_.Address()))));
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
    StandInProcess player_{bus_, {"standin"}};
    std::unique_ptr<VirtualPort> port_ = VirtualPort::CreatePty();
    QProcess quorvel_;
    HistoryLines history_{quorvel_};
};

TEST_F(PlayerFaults, HeldKeyOnAFrozenPlayerWaitsOnceAndTheThawedPlayerObeysTheNextKey) {
    EXPECT_EQ(Send({0x91, 0x60}, 1), Lines{"PLAY!"});
    EXPECT_EQ(player_.WaitForCalls(1), Lines{"PlayPause"});

    // Every line of the held key shows; only its first press asks the frozen player
    // anything, and the presses after it are dropped rather than queued for it.
    player_.Freeze();
    const std::size_t asked = player_.Requests().size();
    EXPECT_EQ(Send({0x91, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0}, 5),
              (Lines{"VOL_UP!", "  >>REP>>VOL_UP!", "  >>REP>>VOL_UP!", "  >>REP>>VOL_UP!",
                     "  >>REP>>VOL_UP!"}));
    ASSERT_TRUE(player_.Thaw());
    EXPECT_EQ(player_.Requests().size(), asked + 1);

    EXPECT_EQ(Send({0x91, 0x70}, 1), Lines{"VOL_DOWN!"});
    EXPECT_EQ(player_.WaitForCalls(2), (Lines{"PlayPause", "Volume 0.4500"}));
}

}  // namespace
