#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

#ifndef _WIN32
struct sd_event;
#endif

// One thread's one wait: on every handle and socket registered, on timers, and on a wake-up
// any thread may ring. What is ready is run on the loop's thread, one callback at a time.
// sd-event on Linux (sd_event_loop.cpp); MsgWaitForMultipleObjectsEx on Windows
// (win32_event_loop.cpp), which also waits on the thread's message queue. Used on the thread
// that made it, but for Wake.
class EventLoop {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
#ifdef _WIN32
    // A waitable handle (an event, a change notification), ready when signalled.
    using Handle = void*;
    // A SOCKET.
    using Socket = std::uintptr_t;
#else
    // A file descriptor, ready when it has input, or has hung up or failed.
    using Handle = int;
    using Socket = int;
#endif

    // A handle watched, or a timer; destroying it takes it out of the loop.
    class Watch {
      public:
        virtual ~Watch() = default;
    };
    class Timer {
      public:
        virtual ~Timer() = default;
        // Runs due once at, or soon after, at; again replaces the time set before.
        virtual void Set(TimePoint at) = 0;
        virtual void Cancel() = 0;
        virtual bool IsSet() const = 0;
    };

    virtual ~EventLoop() = default;

    // ready runs whenever handle is ready, until the watch is destroyed. A handle is watched
    // once at a time. On Windows it is a manual-reset event (or a notification that stays
    // signalled), ready until reset: the wait would take an auto-reset one unseen when
    // something else runs first. At most 62 handles at once (std::length_error beyond).
    virtual std::unique_ptr<Watch> WatchHandle(Handle handle, std::function<void()> ready) = 0;
    virtual std::unique_ptr<Timer> MakeTimer(std::function<void()> due) = 0;
    // ready runs whenever socket has input, or has hung up or failed (a connection it
    // started failed too), until the watch is destroyed; once at a time per socket. On Linux
    // it is WatchHandle. On Windows the socket is given to the watch's event
    // (WSAEventSelect, which makes it non-blocking) and counts as one handle; the watch
    // must go before the socket is closed.
    virtual std::unique_ptr<Watch> WatchSocket(Socket socket, std::function<void()> ready);
    // ready runs whenever socket can take more output (or has failed), until the watch is
    // destroyed; beside a WatchSocket of the same socket (on Linux, or a WatchHandle of it).
    // For a client that has output waiting: watched only while it has. A loop that cannot
    // throws std::logic_error.
    virtual std::unique_ptr<Watch> WatchWritable(Socket /*socket*/,
                                                 std::function<void()> /*ready*/) {
        throw std::logic_error("this event loop cannot wait for a handle to take output");
    }
#ifndef _WIN32
    // The sd-event loop underneath, for a library that joins it by itself (sd-bus's
    // sd_bus_attach_event); null for a loop that is not sd-event's (a test's).
    virtual sd_event* SdEvent() {
        return nullptr;
    }
#endif
#ifdef _WIN32
    // ready runs whenever messages are in the thread's queue (Raw Input, hooks, windows of
    // the thread); it must take them out. One at a time.
    virtual std::unique_ptr<Watch> WatchMessages(std::function<void()> ready) = 0;
#endif

    // Waits until something is ready, until passes or Wake is called, then runs one thing
    // that is ready (each in turn, so none is starved); whether anything ran. A wake-up
    // counts as one. TimePoint::max() waits with no time-out; a time already past only
    // looks.
    virtual bool RunOnce(TimePoint until) = 0;
    // Safe from any thread: ends the wait under way, or else the next one, at once.
    virtual void Wake() = 0;
};

#ifdef _WIN32
inline std::unique_ptr<EventLoop::Watch> EventLoop::WatchSocket(Socket /*socket*/,
                                                                std::function<void()> /*ready*/) {
    throw std::logic_error("this event loop cannot watch a socket");
}
#else
inline std::unique_ptr<EventLoop::Watch> EventLoop::WatchSocket(Socket socket,
                                                                std::function<void()> ready) {
    return WatchHandle(socket, std::move(ready));
}
#endif

// The platform's.
std::unique_ptr<EventLoop> MakeEventLoop();
