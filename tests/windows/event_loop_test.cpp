// The receiver's event loop on Windows: handles, the thread's messages, timers and the
// wake-up, each run in its turn.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"

namespace {

TEST(Win32EventLoop, EverythingReadyRunsInTurn) {
    auto loop = MakeEventLoop();
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue is made
    std::vector<std::string> ran;
    // Ready, and it stays so: it must not keep the others waiting.
    const HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    auto watch = loop->WatchHandle(event, [&] { ran.push_back("handle"); });
    const auto messages = loop->WatchMessages([&] {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ran.push_back("message");
        }
    });
    // Its callback ends the handle's watch.
    const auto timer = loop->MakeTimer([&] {
        ran.push_back("timer");
        watch.reset();
    });
    timer->Set(EventLoop::Clock::now());
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    std::thread([&] { loop->Wake(); }).join();

    int runs = 0;
    while (runs < 10 && loop->RunOnce(EventLoop::TimePoint::min())) {
        ++runs;
    }
    EXPECT_EQ(runs, 4);  // the wake-up is one
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, std::vector<std::string>({"handle", "message", "timer"}));
    EXPECT_FALSE(timer->IsSet());

    // A wait ends for a timer; the handle, still signalled, is no longer watched.
    ran.clear();
    timer->Set(EventLoop::Clock::now() + std::chrono::milliseconds(20));
    EXPECT_TRUE(loop->RunOnce(EventLoop::Clock::now() + std::chrono::seconds(20)));
    EXPECT_EQ(ran, std::vector<std::string>{"timer"});
    EXPECT_FALSE(loop->RunOnce(EventLoop::Clock::now() + std::chrono::milliseconds(20)));
    CloseHandle(event);
}

}  // namespace
