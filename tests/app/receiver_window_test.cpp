// The window with its real receiver thread reading a pseudo-terminal, started as the
// program starts it: what the receiver reads reaches the list on the UI thread, and
// closing the window ends the event loop and joins the receiver.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/history_view.h"
#include "app/receiver_host.h"
#include "player/player_commands.h"
#include "receiver/ir_thread.h"
#include "receiver/serial_line.h"
#include "receiver/signal_cycle.h"
#include "tests/app/qt_environment.h"
#include "tests/receiver/pty.h"

namespace {

const QString W = QString::fromLatin1(SignalCycle::WaitingText);
const QString Greeting = QString::fromLatin1(TForm1::GreetingLine);
constexpr int DeadlineMs = 30000;

QStringList Lines(const HistoryView& view) {
    QStringList lines;
    for (int row = 0; row < view.LineCount(); ++row) {
        lines << view.LineText(row);
    }
    return lines;
}

// Commands the receiver sent, readable after its thread has ended.
class CommandRecord {
  public:
    IRThread::PlayerFactory Factory() {
        return [this] {
            struct Link : PlayerLink {
                explicit Link(CommandRecord& record) : record(record) {}
                std::string FindPlayerWindow() override { return "recorder"; }
                void SendPlayerCommand(int id) override {
                    std::lock_guard lock(record.mutex_);
                    record.commands_.push_back(id);
                }
                CommandRecord& record;
            };
            return std::make_unique<Link>(*this);
        };
    }
    std::vector<int> Commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }

  private:
    std::mutex mutex_;
    std::vector<int> commands_;
};

// The form and a receiver host wired as in the program: the form's starter hands a new
// IRThread to the host, which joins it when the application quits or the host goes.
class ReceiverWindow {
  public:
    explicit ReceiverWindow(const std::string& port, IRThread::PlayerFactory makePlayer = {})
        : host_(qApp) {
        form_.emplace([&](HistoryList& history) {
            auto thread = std::make_unique<IRThread>(history, port, std::move(makePlayer));
            thread_ = thread.get();
            // wait() is invisible to ThreadSanitizer; this flag makes the hand-back explicit.
            QObject::connect(
                thread_, &QThread::finished, thread_,
                [finished = finished_] { finished->store(true, std::memory_order_release); },
                Qt::DirectConnection);
            host_.Start(std::move(thread));
        });
    }

    TForm1& Form() { return *form_; }
    const HistoryView& View() const { return *form_->History; }
    ReceiverHost& Host() { return host_; }
    bool Finished() const { return finished_->load(std::memory_order_acquire); }

    // Stops and joins the receiver while its object still exists, so LineIndex can be read.
    bool StopAndJoin() {
        thread_->RequestStop();
        return thread_->wait(QDeadlineTimer(DeadlineMs)) && Finished();
    }
    int LineIndex() const { return thread_->LineIndex(); }

    // Applies every write the receiver posted before it was joined.
    void ApplyPostedWrites() { QCoreApplication::processEvents(); }

    bool WaitForLines(const QStringList& expected) {
        return ProcessEventsUntil([&] { return Lines(View()) == expected; },
                                  std::chrono::milliseconds(DeadlineMs));
    }

  private:
    // The form is declared before the host, so the host (joining the receiver) goes first.
    std::optional<TForm1> form_;
    ReceiverHost host_;
    IRThread* thread_ = nullptr;
    std::shared_ptr<std::atomic<bool>> finished_ = std::make_shared<std::atomic<bool>>(false);
};

TEST(ReceiverWindow, PortPresentLeavesOnlyTheWaitingLine) {
    Pty pty;
    ReceiverWindow window(pty.SlavePath());
    // The receiver's writes are posted, so nothing has reached the list yet.
    EXPECT_EQ(Lines(window.View()), QStringList{Greeting});

    ASSERT_TRUE(window.WaitForLines({W})) << Lines(window.View()).join('|').toStdString();
    ASSERT_TRUE(window.StopAndJoin());
    window.ApplyPostedWrites();
    EXPECT_EQ(Lines(window.View()), QStringList{W});
    EXPECT_EQ(window.LineIndex(), 0);
}

TEST(ReceiverWindow, PortAbsentReportsErrsThenFailedReads) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ReceiverWindow window(dir.filePath(QStringLiteral("no-such-port")).toStdString());

    const QStringList expected{QStringLiteral("Err"),
                               QStringLiteral("Err"),
                               QStringLiteral("Err"),
                               W,
                               QString::fromLatin1(SerialLine::ReadErrorText),
                               QStringLiteral("-1"),
                               W};
    const bool grown =
        ProcessEventsUntil([&] { return window.View().LineCount() >= expected.size(); },
                           std::chrono::milliseconds(DeadlineMs));
    ASSERT_TRUE(window.StopAndJoin());
    window.ApplyPostedWrites();
    ASSERT_TRUE(grown) << Lines(window.View()).join('|').toStdString();
    EXPECT_EQ(Lines(window.View()).mid(0, expected.size()), expected);
}

TEST(ReceiverWindow, BytesOnThePortBecomeLinesInOrder) {
    Pty pty;
    CommandRecord player;
    ReceiverWindow window(pty.SlavePath(), player.Factory());
    // The waiting line comes after the port is configured: bytes from now on arrive raw.
    ASSERT_TRUE(window.WaitForLines({W}));

    pty.Write({0x91, 0x60, 0x91, 0x2A, 0x0D, 0xB0, 0x05, 0x0D, 0x70, 0x0D, 0x60, 0x91, 0x91});
    const QStringList expected{QStringLiteral("PLAY!"),
                               QStringLiteral("42"),
                               QStringLiteral("  >>REP>>VOL_UP!"),
                               W,
                               QStringLiteral("5"),
                               QStringLiteral("  >>REP>>VOL_DOWN!"),
                               QStringLiteral("  >>REP>>96"),
                               QStringLiteral("145"),
                               W};
    EXPECT_TRUE(window.WaitForLines(expected)) << Lines(window.View()).join('|').toStdString();

    ASSERT_TRUE(window.StopAndJoin());
    window.ApplyPostedWrites();
    EXPECT_EQ(Lines(window.View()), expected);
    EXPECT_EQ(window.LineIndex(), expected.size() - 1);
    EXPECT_EQ(player.Commands(), (std::vector<int>{PlayerCommand::CmdPlay, PlayerCommand::CmdVolUp,
                                                   PlayerCommand::CmdVolDown}));
}

TEST(ReceiverWindow, ClosingTheWindowEndsTheLoopAndJoinsABlockedReceiver) {
    ASSERT_TRUE(QApplication::quitOnLastWindowClosed());
    Pty pty;
    ReceiverWindow window(pty.SlavePath());
    window.Form().show();
    // The waiting line is written just before the receiver blocks in its read.
    ASSERT_TRUE(window.WaitForLines({W}));
    ASSERT_EQ(window.Host().Count(), 1);

    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    deadline.start(DeadlineMs);
    QTimer::singleShot(0, &window.Form(), [&] { window.Form().close(); });
    QApplication::exec();

    EXPECT_FALSE(timedOut) << "closing the window did not end the event loop";
    EXPECT_EQ(window.Host().Count(), 0);
    EXPECT_TRUE(window.Finished());
}

}  // namespace
