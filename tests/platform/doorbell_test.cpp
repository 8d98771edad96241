// The bell another thread rings on the receiver's loop, on either platform.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/doorbell.h"

namespace {

// Rings before anything hears it are heard once it does, as one; a ring from another thread
// ends the loop's wait; without one, nothing is heard.
TEST(Doorbell, AnotherThreadsRingIsHeardOnTheLoop) {
    const auto loop = MakeEventLoop();
    const auto bell = MakeDoorbell();
    bell->Ring();
    bell->Ring();
    int heard = 0;
    const auto watch = bell->Hear(*loop, [&heard] { ++heard; });
    const auto soon = EventLoop::Clock::now() + std::chrono::seconds(20);
    EXPECT_TRUE(loop->RunOnce(soon));
    EXPECT_EQ(heard, 1);
    EXPECT_FALSE(loop->RunOnce(EventLoop::TimePoint::min()));
    std::thread([&bell] { bell->Ring(); }).join();
    EXPECT_TRUE(loop->RunOnce(soon));
    EXPECT_EQ(heard, 2);
    EXPECT_FALSE(loop->RunOnce(EventLoop::TimePoint::min()));
}

}  // namespace
