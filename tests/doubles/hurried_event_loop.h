#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/event_loop.h"

// The real event loop, but a timer set to run sooner than hurried runs at once, and the wait
// it stood for is recorded in waits (whole milliseconds): a source's back-off against a real
// peer costs a test nothing, while its longer timers (an attempt's limit, the keep-alive) keep
// their time.
class HurriedEventLoop : public EventLoop {
  public:
    explicit HurriedEventLoop(std::chrono::milliseconds hurried) : hurried_(hurried) {}

    std::vector<long> waits;

    std::unique_ptr<Watch> WatchHandle(Handle handle, std::function<void()> ready) override {
        return loop_->WatchHandle(handle, std::move(ready));
    }
    std::unique_ptr<Watch> WatchSocket(Socket socket, std::function<void()> ready) override {
        return loop_->WatchSocket(socket, std::move(ready));
    }
    std::unique_ptr<Watch> WatchWritable(Socket socket, std::function<void()> ready) override {
        return loop_->WatchWritable(socket, std::move(ready));
    }
    std::unique_ptr<Timer> MakeTimer(std::function<void()> due) override {
        return std::make_unique<HurriedTimer>(*this, loop_->MakeTimer(std::move(due)));
    }
    bool RunOnce(TimePoint until) override { return loop_->RunOnce(until); }
    void Wake() override { loop_->Wake(); }

  private:
    struct HurriedTimer : Timer {
        HurriedTimer(HurriedEventLoop& loop, std::unique_ptr<Timer> timer)
            : loop(loop), timer(std::move(timer)) {}
        void Set(TimePoint at) override {
            const TimePoint now = Clock::now();
            if (at - now >= loop.hurried_) {
                timer->Set(at);
                return;
            }
            loop.waits.push_back(
                static_cast<long>(std::chrono::round<std::chrono::milliseconds>(at - now).count()));
            timer->Set(now);
        }
        void Cancel() override { timer->Cancel(); }
        bool IsSet() const override { return timer->IsSet(); }
        HurriedEventLoop& loop;
        std::unique_ptr<Timer> timer;
    };

    std::chrono::milliseconds hurried_;
    std::unique_ptr<EventLoop> loop_ = MakeEventLoop();
};
