#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <system_error>
#include <vector>

#include "platform/event_loop.h"

// An event loop whose timers need no waiting: when nothing watched is ready, the timer due
// first runs at once, and the wait it stood for is recorded in waits (whole milliseconds).
// So a back-off of a minute costs a test nothing. Handles (file descriptors) are watched as
// the real loop watches them. With refuseTimers, no timer can be made, as with descriptors
// short. Linux only.
class FakeEventLoop : public EventLoop {
  public:
    FakeEventLoop() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~FakeEventLoop() override { ::close(wake_); }

    std::vector<long> waits;
    bool refuseTimers = false;

    // Runs until count waits are recorded; all of them.
    std::vector<long> Waits(std::size_t count) {
        while (waits.size() < count) {
            RunOnce(TimePoint::max());
        }
        return waits;
    }

    std::unique_ptr<Watch> WatchHandle(Handle handle, std::function<void()> ready) override {
        auto watch = std::make_unique<FakeWatch>(*this, handle, std::move(ready));
        watches_.push_back(watch.get());
        return watch;
    }
    std::unique_ptr<Timer> MakeTimer(std::function<void()> due) override {
        if (refuseTimers) {
            throw std::system_error(EMFILE, std::generic_category(), "timerfd_create");
        }
        auto timer = std::make_unique<FakeTimer>(*this, std::move(due));
        timers_.push_back(timer.get());
        return timer;
    }
    bool RunOnce(TimePoint until) override {
        for (std::size_t i = 0; i < watches_.size(); ++i) {
            FakeWatch* watch = watches_[(next_ + i) % watches_.size()];
            pollfd fd{watch->handle, POLLIN, 0};
            if (::poll(&fd, 1, 0) > 0) {
                next_ = (next_ + i + 1) % watches_.size();
                const std::function<void()> ready = watch->ready;  // it may destroy its watch
                ready();
                return true;
            }
        }
        if (Drained()) {
            return true;
        }
        const auto due = std::min_element(timers_.begin(), timers_.end(),
                                          [](const FakeTimer* a, const FakeTimer* b) {
                                              return a->set && (!b->set || a->at < b->at);
                                          });
        if (due != timers_.end() && (*due)->set) {
            FakeTimer& timer = **due;
            timer.set = false;
            waits.push_back(static_cast<long>(
                std::chrono::round<std::chrono::milliseconds>(timer.at - timer.setAt).count()));
            const std::function<void()> due = timer.due;  // it may destroy its timer
            due();
            return true;
        }
        // Nothing at all to run: only the wake-up, or the caller's time, ends the wait.
        pollfd fd{wake_, POLLIN, 0};
        const TimePoint now = Clock::now();
        const long long left =
            until == TimePoint::max() ? -1
            : until <= now            ? 0
                           : std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        ::poll(&fd, 1, static_cast<int>(left));
        return Drained();
    }
    void Wake() override {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
    }

  private:
    struct FakeWatch : Watch {
        FakeWatch(FakeEventLoop& loop, Handle handle, std::function<void()> ready)
            : loop(loop), handle(handle), ready(std::move(ready)) {}
        ~FakeWatch() override { std::erase(loop.watches_, this); }
        FakeEventLoop& loop;
        Handle handle;
        std::function<void()> ready;
    };
    struct FakeTimer : Timer {
        FakeTimer(FakeEventLoop& loop, std::function<void()> due)
            : loop(loop), due(std::move(due)) {}
        ~FakeTimer() override { std::erase(loop.timers_, this); }
        void Set(TimePoint time) override {
            setAt = Clock::now();
            at = time;
            set = true;
        }
        void Cancel() override { set = false; }
        bool IsSet() const override { return set; }
        FakeEventLoop& loop;
        std::function<void()> due;
        TimePoint at{};
        TimePoint setAt{};
        bool set = false;
    };

    // Whether the wake-up had rung (it then counts as what ran).
    bool Drained() {
        std::uint64_t count = 0;
        return ::read(wake_, &count, sizeof count) > 0;
    }

    int wake_;
    std::vector<FakeWatch*> watches_;
    std::vector<FakeTimer*> timers_;
    std::size_t next_ = 0;
};
