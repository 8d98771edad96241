#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

#include "app/quorvel_application.h"
#include "app/signal_quitter.h"
#include "tests/app/qt_environment.h"

namespace {

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

INSTANTIATE_TEST_SUITE_P(Signals, SignalQuitterTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// The first signal asks for a clean shutdown; one more while it runs ends the program.
TEST(SignalQuitterDeathTest, SecondSignalEndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SignalQuitter quitter;
            std::raise(SIGTERM);
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

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
