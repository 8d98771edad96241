// The event loop on Windows: one MsgWaitForMultipleObjectsEx over the handles watched and an
// auto-reset wake-up event, which also ends for the thread's messages, with the time-out of
// the earliest timer or the caller's deadline. The handles are manual-reset events, so one
// that is ready stays so until it is read; each ready thing runs in turn from the one after
// the last that ran. A watch or timer destroyed by a callback is only marked: its callback
// lives until the callback running ends, and the loop drops it before its next wait. A
// socket is watched through its event (SocketEvents), one handle for its input and output.
#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/event_loop.h"
#include "platform/win32_socket_events.h"

namespace {

using TimePoint = EventLoop::TimePoint;

// MsgWaitForMultipleObjectsEx's most, the wake-up event among them.
constexpr std::size_t MostHandles = MAXIMUM_WAIT_OBJECTS - 1;

// What the loop keeps of a watch or a timer; the watch or timer marks it dead.
struct Entry {
    HANDLE handle = nullptr;
    TimePoint at = TimePoint::max();  // a timer's; max while not set
    std::function<void()> callback;
    bool dead = false;
    bool running = false;

    void Kill() {
        dead = true;
        at = TimePoint::max();
        if (!running) {
            callback = nullptr;
        }
    }
    // Runs the callback, which may kill this entry.
    void Run() {
        struct Ran {
            Entry& entry;
            ~Ran() {
                entry.running = false;
                if (entry.dead) {
                    entry.callback = nullptr;
                }
            }
        } ran{*this};
        running = true;
        callback();
    }
};
using Entries = std::vector<std::shared_ptr<Entry>>;

std::shared_ptr<Entry> MakeEntry(std::function<void()> callback, HANDLE handle = nullptr) {
    auto entry = std::make_shared<Entry>();
    entry->handle = handle;
    entry->callback = std::move(callback);
    return entry;
}

class Win32Watch : public EventLoop::Watch {
  public:
    explicit Win32Watch(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    ~Win32Watch() override { entry_->Kill(); }
    Win32Watch(const Win32Watch&) = delete;
    Win32Watch& operator=(const Win32Watch&) = delete;

  private:
    std::shared_ptr<Entry> entry_;
};

class Win32Timer : public EventLoop::Timer {
  public:
    explicit Win32Timer(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    ~Win32Timer() override { entry_->Kill(); }
    Win32Timer(const Win32Timer&) = delete;
    Win32Timer& operator=(const Win32Timer&) = delete;

    void Set(TimePoint at) override { entry_->at = at; }
    void Cancel() override { entry_->at = TimePoint::max(); }
    bool IsSet() const override { return entry_->at != TimePoint::max(); }

  private:
    std::shared_ptr<Entry> entry_;
};

// The watch of a socket's input or of its room for output.
class SocketWatch : public EventLoop::Watch {
  public:
    SocketWatch(std::shared_ptr<SocketEvents> events, bool output)
        : events_(std::move(events)), output_(output) {}
    ~SocketWatch() override {
        if (output_) {
            events_->SetOutput(nullptr);
        } else {
            events_->SetInput(nullptr);
        }
    }
    SocketWatch(const SocketWatch&) = delete;
    SocketWatch& operator=(const SocketWatch&) = delete;

  private:
    std::shared_ptr<SocketEvents> events_;
    bool output_;
};

void DropDead(Entries& entries) {
    std::erase_if(entries, [](const std::shared_ptr<Entry>& entry) { return entry->dead; });
}

// Milliseconds to wait until at, rounded up, so a timer never runs before its time.
DWORD WaitUntil(TimePoint at) {
    if (at == TimePoint::max()) {
        return INFINITE;
    }
    const TimePoint now = EventLoop::Clock::now();
    if (at <= now) {
        return 0;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(at - now).count();
    return static_cast<DWORD>(std::min<long long>(wait, INFINITE - 1));
}

class Win32EventLoop : public EventLoop {
  public:
    Win32EventLoop() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        if (wake_ == nullptr) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "CreateEvent");
        }
        wakeEntry_ = MakeEntry([] {}, wake_);
        handles_.push_back(wakeEntry_);
    }
    ~Win32EventLoop() override { CloseHandle(wake_); }
    Win32EventLoop(const Win32EventLoop&) = delete;
    Win32EventLoop& operator=(const Win32EventLoop&) = delete;

    std::unique_ptr<Watch> WatchHandle(Handle handle, std::function<void()> ready) override {
        const auto live = std::count_if(handles_.begin(), handles_.end(),
                                        [](const auto& entry) { return !entry->dead; });
        if (static_cast<std::size_t>(live) >= MostHandles) {
            throw std::length_error("an event loop on Windows watches at most " +
                                    std::to_string(MostHandles - 1) + " handles");
        }
        handles_.push_back(MakeEntry(std::move(ready), handle));
        return std::make_unique<Win32Watch>(handles_.back());
    }

    std::unique_ptr<Watch> WatchSocket(Socket socket, std::function<void()> ready) override {
        const std::shared_ptr<SocketEvents> events = EventsOf(socket);
        if (events->HasInput()) {
            throw std::logic_error("the socket's input is already watched");
        }
        events->SetInput(std::move(ready));
        return std::make_unique<SocketWatch>(events, false);
    }

    std::unique_ptr<Watch> WatchWritable(Socket socket, std::function<void()> ready) override {
        const std::shared_ptr<SocketEvents> events = EventsOf(socket);
        if (events->HasOutput()) {
            throw std::logic_error("the socket's room for output is already watched");
        }
        events->SetOutput(std::move(ready));
        return std::make_unique<SocketWatch>(events, true);
    }

    std::unique_ptr<Timer> MakeTimer(std::function<void()> due) override {
        timers_.push_back(MakeEntry(std::move(due)));
        return std::make_unique<Win32Timer>(timers_.back());
    }

    std::unique_ptr<Watch> WatchMessages(std::function<void()> ready) override {
        if (messages_ && !messages_->dead) {
            throw std::logic_error("the thread's messages are already watched");
        }
        messages_ = MakeEntry(std::move(ready));
        return std::make_unique<Win32Watch>(messages_);
    }

    bool RunOnce(TimePoint until) override {
        for (;;) {
            DropDead(handles_);
            DropDead(timers_);
            const std::shared_ptr<Entry> timer = NextTimer();
            const TimePoint wakeAt = timer ? std::min(timer->at, until) : until;

            // The handles from the one after the last that ran: the wait names the first
            // of them that is ready.
            const std::size_t count = handles_.size();
            const std::size_t slots = count + 2;
            const std::size_t start = next_ % slots;
            const std::size_t first = start < count ? start : 0;
            std::vector<HANDLE> waited;
            for (std::size_t i = 0; i < count; ++i) {
                waited.push_back(handles_[(first + i) % count]->handle);
            }
            const DWORD woke =
                MsgWaitForMultipleObjectsEx(static_cast<DWORD>(count), waited.data(),
                                            WaitUntil(wakeAt), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woke == WAIT_FAILED) {
                throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                        "MsgWaitForMultipleObjectsEx");
            }
            std::optional<std::size_t> handle;
            if (woke < WAIT_OBJECT_0 + count) {
                handle = (first + (woke - WAIT_OBJECT_0)) % count;
            }
            // Of what is ready, the first from where the last left off: the handles, then
            // the messages, then the timers, and round again.
            const auto after = [&](std::size_t slot) { return (slot + slots - start) % slots; };
            // A handle ready hides the messages from the wait: they are asked for when
            // their turn comes first.
            const bool messages =
                woke == WAIT_OBJECT_0 + count || (handle && after(count) < after(*handle) &&
                                                  HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0);
            const bool due = timer && timer->at <= Clock::now();
            std::size_t chosen = slots;
            for (const std::size_t slot :
                 {handle.value_or(slots), messages ? count : slots, due ? count + 1 : slots}) {
                if (slot < slots && (chosen == slots || after(slot) < after(chosen))) {
                    chosen = slot;
                }
            }
            if (chosen == slots) {
                if (Clock::now() >= until) {
                    return false;
                }
                continue;  // woken a little early for a timer
            }
            // The wait took the wake-up event; another ran first, so it is rung again.
            if (handle && handles_[*handle] == wakeEntry_ && chosen != *handle) {
                SetEvent(wake_);
            }
            next_ = chosen + 1;
            if (chosen < count) {
                const std::shared_ptr<Entry> entry = handles_[chosen];
                entry->Run();
            } else if (chosen == count) {
                DispatchMessages();
            } else {
                timer->at = TimePoint::max();
                timer->Run();
            }
            return true;
        }
    }

    void Wake() override { SetEvent(wake_); }

  private:
    // The events of socket, as its watches share them.
    std::shared_ptr<SocketEvents> EventsOf(Socket socket) {
        std::erase_if(sockets_, [](const auto& entry) {
            const auto events = entry.second.lock();
            return !events || !events->Watched();
        });
        if (const auto found = sockets_.find(socket); found != sockets_.end()) {
            return found->second.lock();
        }
        auto events = SocketEvents::Make(*this, socket);
        sockets_[socket] = events;
        return events;
    }

    std::shared_ptr<Entry> NextTimer() const {
        std::shared_ptr<Entry> earliest;
        for (const auto& timer : timers_) {
            if (timer->at != TimePoint::max() && (!earliest || timer->at < earliest->at)) {
                earliest = timer;
            }
        }
        return earliest;
    }

    void DispatchMessages() {
        if (messages_ && !messages_->dead) {
            const std::shared_ptr<Entry> entry = messages_;
            entry->Run();
            return;
        }
        // Nobody takes them: a window of the thread is served as its own loop would.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    HANDLE wake_;
    Entries handles_;
    Entries timers_;
    std::shared_ptr<Entry> wakeEntry_;
    std::shared_ptr<Entry> messages_;
    std::map<Socket, std::weak_ptr<SocketEvents>> sockets_;
    // Where the next look for something ready starts: a handle's index, count for the
    // messages, count + 1 for the timers.
    std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<EventLoop> MakeEventLoop() {
    return std::make_unique<Win32EventLoop>();
}
