#include "platform/quit_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <future>

namespace {

class QuitSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(QuitSignalTest, SignalEndsTheWaitAndCallsOnQuit) {
    const int signal = GetParam();
    struct sigaction before {};
    sigaction(signal, nullptr, &before);
    {
        QuitSignal quit;
        std::raise(signal);
        quit.Wait();  // returns: the signal did not end the process
    }
    {
        std::promise<void> called;
        QuitSignal quit([&called] { called.set_value(); });
        std::raise(signal);
        called.get_future().get();
    }
    // The old disposition is back once the signal is gone.
    struct sigaction after {};
    sigaction(signal, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

// With a reload, SIGHUP asks for it and no longer quits; SIGTERM still does.
TEST(QuitSignal, HangupReloadsWhenAskedTo) {
    {
        // Hangups that come together are one reload.
        std::atomic<int> reloads{0};
        QuitSignal quit({}, [&reloads] {
            ++reloads;
            std::raise(SIGTERM);
        });
        std::raise(SIGHUP);
        quit.Wait();  // returns only once the reload has raised SIGTERM
        EXPECT_EQ(reloads.load(), 1);
    }
    {
        std::promise<void> reloaded;
        std::promise<void> quitted;
        QuitSignal quit([&quitted] { quitted.set_value(); }, [&reloaded] { reloaded.set_value(); });
        std::raise(SIGHUP);
        reloaded.get_future().get();
        std::raise(SIGINT);
        quitted.get_future().get();
    }
    {
        // One that comes before anything is set up waits for it, and is a reload then.
        QuitSignal::HoldHangups();
        std::raise(SIGHUP);
        std::atomic<int> reloads{0};
        QuitSignal quit({}, [&reloads] {
            ++reloads;
            std::raise(SIGTERM);
        });
        quit.Wait();
        EXPECT_EQ(reloads.load(), 1);
    }
}

// The first signal asks for a clean shutdown; one more while it runs ends the program.
TEST(QuitSignalDeathTest, SecondSignalEndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            QuitSignal quit;
            std::raise(SIGTERM);
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
