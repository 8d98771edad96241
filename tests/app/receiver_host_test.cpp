#include "app/receiver_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>

#include "app/quorvel_application.h"
#include "app/signal_quitter.h"
#include "tests/app/qt_environment.h"

namespace {

// Blocks like a receiver waiting for a byte until asked to stop.
class BlockedThread : public QThread {
  public:
    explicit BlockedThread(std::atomic<int>& finished) : finished_(finished) {}

    void RequestStop() {
        std::lock_guard lock(mutex_);
        stop_ = true;
        wake_.notify_all();
    }
    bool started() const { return started_; }

  protected:
    void run() override {
        started_ = true;
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return stop_; });
        ++finished_;
    }

  private:
    std::atomic<int>& finished_;
    std::atomic<bool> started_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

// Runs the event loop until something quits it; false if it had to be ended by the
// deadline instead.
bool RunUntilQuit() {
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    deadline.start(20000);
    QCoreApplication::exec();
    return !timedOut;
}

TEST(ReceiverHost, StopWakesAndJoinsEveryThread) {
    std::atomic<int> finished{0};
    ReceiverHost host(nullptr);
    auto first = std::make_unique<BlockedThread>(finished);
    auto second = std::make_unique<BlockedThread>(finished);
    BlockedThread* probe = first.get();
    host.Start(std::move(first));
    host.Start(std::move(second));
    ASSERT_TRUE(ProcessEventsUntil([&] { return probe->started(); }));
    EXPECT_EQ(host.Count(), 2);
    EXPECT_EQ(finished, 0);

    host.StopAll();
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(host.Count(), 0);
    host.StopAll();
}

TEST(ReceiverHost, QuittingTheApplicationJoinsTheReceiver) {
    std::atomic<int> finished{0};
    ReceiverHost host(QCoreApplication::instance());
    host.Start(std::make_unique<BlockedThread>(finished));
    QTimer::singleShot(0, &QCoreApplication::quit);
    ASSERT_TRUE(RunUntilQuit());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(host.Count(), 0);
}

TEST(ReceiverHost, DestructionJoinsTheReceiver) {
    std::atomic<int> finished{0};
    {
        ReceiverHost host(nullptr);
        host.Start(std::make_unique<BlockedThread>(finished));
    }
    EXPECT_EQ(finished, 1);
}

class SignalQuitterTest : public ::testing::TestWithParam<int> {};

TEST_P(SignalQuitterTest, SignalEndsTheEventLoop) {
    const int signal = GetParam();
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    {
        SignalQuitter quitter;
        QTimer::singleShot(0, [signal] { std::raise(signal); });
        EXPECT_TRUE(RunUntilQuit());
    }
    // The old disposition is back once the quitter is gone.
    struct sigaction after {};
    sigaction(signal, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalQuitterTest, ::testing::Values(SIGINT, SIGTERM));

// Throws from an event handler, as any of our code might.
class Thrower : public QObject {
  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("thrown in the loop");
        }
        return QObject::event(event);
    }
};

TEST(QuorvelApplication, ExceptionInTheLoopEndsItAndReachesTheEntry) {
    auto* app = dynamic_cast<QuorvelApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    Thrower thrower;
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    EXPECT_TRUE(RunUntilQuit());
    EXPECT_THROW(app->RethrowEscaped(), std::runtime_error);
    // Handed on once only.
    EXPECT_NO_THROW(app->RethrowEscaped());
}

}  // namespace
