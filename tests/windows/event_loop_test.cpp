// The receiver's event loop on Windows: handles, sockets, the thread's messages, timers and
// the wake-up, each run in its turn.
#include <gtest/gtest.h>

#include <windows.h>
#include <winsock2.h>

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

// A connected pair of loopback sockets.
std::pair<SOCKET, SOCKET> LoopbackPair() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(client, reinterpret_cast<sockaddr*>(&address), length);
    const SOCKET server = accept(listener, nullptr, nullptr);
    closesocket(listener);
    return {client, server};
}

// Input and room for output stay ready while they are, as on Linux, though Windows tells of
// each once; both ready take turns; a closed connection is input for good.
TEST(Win32EventLoop, SocketInputAndRoomStayReadyWhileTheyAre) {
    const auto [ours, peer] = LoopbackPair();
    ASSERT_NE(peer, INVALID_SOCKET);
    auto loop = MakeEventLoop();
    std::string ran;
    std::string read;
    auto input = loop->WatchSocket(ours, [&] {
        ran += 'i';
        char byte = 0;
        if (recv(ours, &byte, 1, 0) == 1) {
            read += byte;
        }
    });
    // What Windows told of the connection is no input.
    for (int i = 0; i < 3 && loop->RunOnce(EventLoop::TimePoint::min()); ++i) {
    }
    EXPECT_EQ(ran, "");
    ASSERT_EQ(send(peer, "ab", 2, 0), 2);
    const auto soon = [] { return EventLoop::Clock::now() + std::chrono::seconds(10); };
    ASSERT_TRUE(loop->RunOnce(soon()));
    if (read.size() < 2) {  // the second byte may come apart from the first
        ASSERT_TRUE(loop->RunOnce(soon()));
    }
    EXPECT_EQ(read, "ab");
    EXPECT_FALSE(loop->RunOnce(EventLoop::TimePoint::min()));

    std::unique_ptr<EventLoop::Watch> output = loop->WatchWritable(ours, [&] { ran += 'o'; });
    ran.clear();
    ASSERT_TRUE(loop->RunOnce(EventLoop::TimePoint::min()));
    ASSERT_TRUE(loop->RunOnce(EventLoop::TimePoint::min()));
    EXPECT_EQ(ran, "oo");
    EXPECT_THROW(loop->WatchWritable(ours, [] {}), std::logic_error);

    // Both ready: input has its turn.
    ASSERT_EQ(send(peer, "c", 1, 0), 1);
    u_long pending = 0;
    for (const auto until = soon(); pending == 0 && EventLoop::Clock::now() < until;) {
        ioctlsocket(ours, FIONREAD, &pending);
    }
    ran.clear();
    ASSERT_TRUE(loop->RunOnce(EventLoop::TimePoint::min()));
    ASSERT_TRUE(loop->RunOnce(EventLoop::TimePoint::min()));
    EXPECT_EQ(ran, "io");

    output.reset();
    ASSERT_EQ(send(peer, "d", 1, 0), 1);
    closesocket(peer);
    ran.clear();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(loop->RunOnce(soon()));
    }
    EXPECT_EQ(ran, "iii");
    EXPECT_EQ(read, "abcd");
    input.reset();
    EXPECT_FALSE(loop->RunOnce(EventLoop::TimePoint::min()));
    closesocket(ours);
}

// Input its reader leaves where it was (the rest of a message still to come) is not spun:
// it is looked at again later, on a timer.
TEST(Win32EventLoop, InputLeftUnreadIsLookedAtAgainLater) {
    const auto [ours, peer] = LoopbackPair();
    ASSERT_NE(peer, INVALID_SOCKET);
    auto loop = MakeEventLoop();
    int runs = 0;
    auto input = loop->WatchSocket(ours, [&] { ++runs; });
    ASSERT_EQ(send(peer, "a", 1, 0), 1);
    ASSERT_TRUE(loop->RunOnce(EventLoop::Clock::now() + std::chrono::seconds(10)));
    ASSERT_EQ(runs, 1);
    // Spun, it would run at each look; on a timer slowing to 1/8 s, a handful of times.
    for (int i = 0; i < 200; ++i) {
        loop->RunOnce(EventLoop::TimePoint::min());
    }
    EXPECT_LT(runs, 50);
    // But it is looked at again: the timer's turn, then the socket's.
    const int before = runs;
    for (int i = 0; i < 4 && runs == before; ++i) {
        EXPECT_TRUE(loop->RunOnce(EventLoop::Clock::now() + std::chrono::seconds(10)));
    }
    EXPECT_EQ(runs, before + 1);
    input.reset();
    closesocket(peer);
    closesocket(ours);
}

}  // namespace
