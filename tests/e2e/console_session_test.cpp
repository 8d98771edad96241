// The whole chain, out of process: the virtual receiver sends a scripted session through
// a pseudo-terminal to quorvel in console mode, which commands the stand-in player on a
// private bus. Checks the history lines and the player's calls, in order.
#include <gtest/gtest.h>

#include <QProcess>
#include <string>
#include <vector>

#include "tests/e2e/program_process.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"

namespace {

using Lines = std::vector<std::string>;

Lines SplitLines(const QByteArray& output) {
    Lines lines;
    std::string line;
    for (const char c : output) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

TEST(ConsoleSession, VirtualReceiverDrivesTheHistoryAndThePlayer) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());

    // The five keys, a held volume key, a held play key, an unknown key, a stray byte.
    QProcess sender;
    ASSERT_TRUE(StartChild(sender, QStringLiteral(QUORVEL_SEND_BINARY),
                           {"play", "next", "prev", "vol+", "vol-", "hold", "vol+", "2", "hold",
                            "play", "1", "raw", "0x91", "0x2a", "raw", "0x05"},
                           ProgramEnvironment(QString::fromStdString(bus.Address()))));
    QByteArray sent;
    ASSERT_TRUE(ReadOutputUntil(sender, sent, [](const QByteArray& o) { return o.contains('\n'); }))
        << "quorvel-send printed no port";
    const QString port = QString::fromLocal8Bit(sent.left(sent.indexOf('\n')));

    QProcess quorvel;
    ASSERT_TRUE(StartChild(quorvel, QStringLiteral(QUORVEL_BINARY), {"--console", "--port", port},
                           ProgramEnvironment(QString::fromStdString(bus.Address()))));

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
    QByteArray output;
    EXPECT_TRUE(ReadOutputUntil(quorvel, output, [&](const QByteArray& o) {
        return SplitLines(o).size() >= expected.size();
    }));
    EXPECT_EQ(SplitLines(output), expected);

    // Each command completed before its line was written, so every call is recorded by now.
    EXPECT_EQ(player.Calls(),
              (Lines{"PlayPause", "Next", "Previous", "Volume 0.5500", "Volume 0.5000",
                     "Volume 0.5500", "Volume 0.6000", "Volume 0.6500", "PlayPause"}));

    ASSERT_TRUE(Terminate(quorvel)) << "quorvel did not end on SIGTERM";
    EXPECT_EQ(quorvel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quorvel.exitCode(), 0);
    output += quorvel.readAllStandardOutput();
    EXPECT_EQ(SplitLines(output), expected);
    EXPECT_TRUE(output.endsWith('\n'));

    ASSERT_TRUE(Terminate(sender));
    EXPECT_EQ(sender.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sender.exitCode(), 0);
}

}  // namespace
