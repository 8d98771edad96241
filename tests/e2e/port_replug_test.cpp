// An adapter unplugged mid-stream and plugged back: quorvel --console reports the failed
// reads, reopens the same path once it is back and reads on, with no restart.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "receiver/signal_cycle.h"
#include "tests/e2e/history_lines.h"
#include "tests/e2e/port_writing.h"
#include "tests/e2e/program_process.h"
#include "tests/e2e/socat_pair.h"

namespace {

using Lines = HistoryLines::Lines;

const std::string W = SignalCycle::WaitingText;
constexpr std::uint8_t Probe = 0x05;
const std::string ProbeLine = "5";
// How long one probe may take to show before the next is sent; only paces the probing.
constexpr int ProbeWaitMs = 200;

// The program empties the port's input when it (re)opens it, so bytes sent before then are
// rightly gone. Sends a stray byte until one shows; returns the index after its line, or -1.
long SyncWithReader(int peer, HistoryLines& history, std::size_t from) {
    const QDeadlineTimer deadline(DeadlineMs);
    while (!deadline.hasExpired()) {
        if (!WritePaced(peer, {Probe})) {
            return -1;
        }
        long seen = -1;
        history.ReadUntil(
            [&](const Lines& lines) {
                for (std::size_t i = from + 1; i < lines.size(); ++i) {
                    if (lines[i - 1] == W && lines[i] == ProbeLine) {
                        seen = static_cast<long>(i + 1);
                        return true;
                    }
                }
                return false;
            },
            ProbeWaitMs);
        if (seen >= 0) {
            return seen;
        }
    }
    return -1;
}

// The lines from index from on, less probes that showed late.
Lines EventsFrom(const Lines& lines, std::size_t from) {
    while (from + 1 < lines.size() && lines[from] == W && lines[from + 1] == ProbeLine) {
        from += 2;
    }
    return Lines(lines.begin() + static_cast<long>(std::min(from, lines.size())), lines.end());
}

TEST(PortReplug, ReadingResumesOnTheSamePathWithoutARestart) {
    PrepareQtWithoutSessionBus();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SocatPair adapter(dir.path());
    ASSERT_TRUE(adapter.Plug()) << adapter.Error().toStdString();

    QProcess quorvel;
    ASSERT_TRUE(StartChild(
        quorvel, QStringLiteral(QUORVEL_BINARY), {"--console", "--port", adapter.PortPath()},
        ProgramEnvironment(QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("no-bus")))));
    HistoryLines history(quorvel);

    int peer = adapter.OpenPeer();
    ASSERT_GE(peer, 0);
    long from = SyncWithReader(peer, history, 0);
    ASSERT_GE(from, 0) << "no byte got through to quorvel";
    ASSERT_TRUE(WritePaced(peer, {0x91, 0x60, 0x91, 0x18}));
    ASSERT_TRUE(history.ReadUntil(
        [&](const Lines& lines) { return EventsFrom(lines, from).size() >= 2; }, DeadlineMs));
    EXPECT_EQ(EventsFrom(history.All(), from), (Lines{"PLAY!", "NEXT!"}));

    // Unplugged: each failed read is one pass of the cycle.
    const std::size_t unplugged = history.All().size();
    ASSERT_TRUE(adapter.Unplug());
    ASSERT_TRUE(history.ReadUntil([&](const Lines& lines) { return lines.size() >= unplugged + 3; },
                                  DeadlineMs));
    EXPECT_EQ(Lines(history.All().begin() + static_cast<long>(unplugged),
                    history.All().begin() + static_cast<long>(unplugged) + 3),
              (Lines{W, "COM READ ERROR!", "-1"}));

    // Plugged back under the same name: the next events are read.
    ASSERT_TRUE(adapter.Plug()) << adapter.Error().toStdString();
    peer = adapter.OpenPeer();
    ASSERT_GE(peer, 0);
    from = SyncWithReader(peer, history, history.All().size());
    ASSERT_GE(from, 0) << "reading did not resume after the port came back";
    ASSERT_TRUE(WritePaced(peer, {0x91, 0x98, 0x0D, 0xB0, 0x2A}));
    ASSERT_TRUE(history.ReadUntil(
        [&](const Lines& lines) { return EventsFrom(lines, from).size() >= 4; }, DeadlineMs));
    EXPECT_EQ(EventsFrom(history.All(), from), (Lines{"PREV!", "  >>REP>>VOL_UP!", W, "42"}));
    ASSERT_TRUE(quorvel.state() == QProcess::Running) << "quorvel ended";

    ASSERT_TRUE(Terminate(quorvel)) << "quorvel did not end on SIGTERM";
    EXPECT_EQ(quorvel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(quorvel.exitCode(), 0);
}

}  // namespace
