// The event loop on Linux: systemd's sd-event (libsystemd, which sd-bus and so sdbus-c++
// already bring), an epoll set with timers. Its callbacks are C: an exception thrown in one
// is carried over them and thrown again from RunOnce.
#include <fcntl.h>
#include <sys/eventfd.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/event_loop.h"

namespace {

constexpr std::uint64_t Never = std::numeric_limits<std::uint64_t>::max();

// The steady clock is CLOCK_MONOTONIC, sd-event's clock here, in microseconds; rounded up,
// so a timer never runs before its time.
std::uint64_t Microseconds(EventLoop::TimePoint at) {
    const auto since = std::chrono::ceil<std::chrono::microseconds>(at.time_since_epoch());
    return since.count() <= 0 ? 1 : static_cast<std::uint64_t>(since.count());
}

void Check(int result, const char* what) {
    if (result < 0) {
        throw std::system_error(-result, std::generic_category(), what);
    }
}

class SdEventLoop;

// Runs a callback for sd-event, keeping what it throws for RunOnce. The callback is a copy:
// it may destroy the watch or timer it belongs to.
int Run(SdEventLoop& loop, std::function<void()> callback);

class SdWatch : public EventLoop::Watch {
  public:
    // owned: a descriptor the watch closes when it goes, or -1.
    SdWatch(SdEventLoop& loop, std::function<void()> ready, int owned = -1)
        : loop_(loop), ready_(std::move(ready)), owned_(owned) {}
    ~SdWatch() override {
        sd_event_source_disable_unref(source_);
        if (owned_ >= 0) {
            ::close(owned_);
        }
    }
    SdWatch(const SdWatch&) = delete;
    SdWatch& operator=(const SdWatch&) = delete;

    static int OnReady(sd_event_source*, int, std::uint32_t, void* self) {
        auto* watch = static_cast<SdWatch*>(self);
        return Run(watch->loop_, watch->ready_);
    }

    sd_event_source* source_ = nullptr;

  private:
    SdEventLoop& loop_;
    std::function<void()> ready_;
    int owned_;
};

class SdTimer : public EventLoop::Timer {
  public:
    SdTimer(SdEventLoop& loop, std::function<void()> due) : loop_(loop), due_(std::move(due)) {}
    ~SdTimer() override { sd_event_source_disable_unref(source_); }
    SdTimer(const SdTimer&) = delete;
    SdTimer& operator=(const SdTimer&) = delete;

    void Set(EventLoop::TimePoint at) override {
        Check(sd_event_source_set_time(source_, Microseconds(at)), "sd_event_source_set_time");
        Check(sd_event_source_set_enabled(source_, SD_EVENT_ONESHOT),
              "sd_event_source_set_enabled");
    }
    void Cancel() override { sd_event_source_set_enabled(source_, SD_EVENT_OFF); }
    bool IsSet() const override {
        int enabled = SD_EVENT_OFF;
        return sd_event_source_get_enabled(source_, &enabled) >= 0 && enabled != SD_EVENT_OFF;
    }

    static int OnDue(sd_event_source*, std::uint64_t, void* self) {
        auto* timer = static_cast<SdTimer*>(self);
        return Run(timer->loop_, timer->due_);
    }

    sd_event_source* source_ = nullptr;

  private:
    SdEventLoop& loop_;
    std::function<void()> due_;
};

class SdEventLoop : public EventLoop {
  public:
    SdEventLoop() {
        Check(sd_event_new(&event_), "sd_event_new");
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0) {
            const int error = errno;
            sd_event_unref(event_);
            throw std::system_error(error, std::generic_category(), "eventfd");
        }
        wake_ = WatchHandle(wakeFd_, [this] {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        });
    }
    ~SdEventLoop() override {
        wake_.reset();
        ::close(wakeFd_);
        sd_event_unref(event_);
    }
    SdEventLoop(const SdEventLoop&) = delete;
    SdEventLoop& operator=(const SdEventLoop&) = delete;

    std::unique_ptr<Watch> WatchHandle(Handle handle, std::function<void()> ready) override {
        auto watch = std::make_unique<SdWatch>(*this, std::move(ready));
        // A hang-up or an error is always reported, and is ready too: the read tells which.
        Check(sd_event_add_io(event_, &watch->source_, handle, EPOLLIN, SdWatch::OnReady,
                              watch.get()),
              "sd_event_add_io");
        return watch;
    }

    std::unique_ptr<Watch> WatchWritable(Handle handle, std::function<void()> ready) override {
        // epoll takes a descriptor once: a duplicate of it is watched for output.
        const int duplicate = ::fcntl(handle, F_DUPFD_CLOEXEC, 0);
        if (duplicate < 0) {
            throw std::system_error(errno, std::generic_category(), "fcntl(F_DUPFD_CLOEXEC)");
        }
        auto watch = std::make_unique<SdWatch>(*this, std::move(ready), duplicate);
        Check(sd_event_add_io(event_, &watch->source_, duplicate, EPOLLOUT, SdWatch::OnReady,
                              watch.get()),
              "sd_event_add_io");
        return watch;
    }

    std::unique_ptr<Timer> MakeTimer(std::function<void()> due) override {
        auto timer = std::make_unique<SdTimer>(*this, std::move(due));
        // An accuracy of 1 us: sd-event would otherwise gather timers within 250 ms.
        Check(sd_event_add_time(event_, &timer->source_, CLOCK_MONOTONIC, Never, 1, SdTimer::OnDue,
                                timer.get()),
              "sd_event_add_time");
        sd_event_source_set_enabled(timer->source_, SD_EVENT_OFF);
        return timer;
    }

    sd_event* SdEvent() override { return event_; }

    bool RunOnce(TimePoint until) override {
        std::uint64_t timeout = Never;
        if (until != TimePoint::max()) {
            const TimePoint now = Clock::now();
            timeout = until <= now
                          ? 0
                          : static_cast<std::uint64_t>(
                                std::chrono::ceil<std::chrono::microseconds>(until - now).count());
        }
        const int result = sd_event_run(event_, timeout);
        if (thrown_) {
            std::rethrow_exception(std::exchange(thrown_, nullptr));
        }
        if (result < 0 && result != -EINTR) {
            Check(result, "sd_event_run");
        }
        return result > 0;
    }

    void Wake() override {
        const std::uint64_t one = 1;
        // Fails only if the counter would overflow, and then it is readable anyway.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }

    std::exception_ptr thrown_;

  private:
    sd_event* event_ = nullptr;
    int wakeFd_ = -1;
    std::unique_ptr<Watch> wake_;
};

int Run(SdEventLoop& loop, std::function<void()> callback) {
    try {
        callback();
    } catch (...) {
        if (!loop.thrown_) {
            loop.thrown_ = std::current_exception();
        }
    }
    // Never negative: sd-event would turn the source off for good.
    return 0;
}

}  // namespace

std::unique_ptr<EventLoop> MakeEventLoop() {
    return std::make_unique<SdEventLoop>();
}
