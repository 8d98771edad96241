#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/event_loop.h"
#include "source/read_backoff.h"

// When a source that failed is tried again, on the loop: after the back-off's wait (100 ms
// doubling to the longest), or at once when something changed on the way to it (Soon), after
// which the waits start again from the first: a receiver plugged in, or a socket made again,
// is taken within a moment however long the waits had grown, and a folder nobody can watch
// leaves the slow pace. Used on the loop's thread.
class Reopening {
  public:
    Reopening(std::chrono::milliseconds longest, std::function<void()> attempt)
        : backoff_(longest), attempt_(std::move(attempt)) {}

    // Joins loop; before, nothing is tried.
    void Attach(EventLoop& loop);
    // A try failed (or the source was lost): the next one after the back-off's wait, or
    // after longest when that is shorter (a source that is there, only busy).
    void Failed(std::chrono::milliseconds longest = std::chrono::milliseconds::max());
    // Something changed on the way to the source: the next try now.
    void Soon();
    // The source is well: nothing is due, and the next failure waits the first wait.
    void Succeeded();
    // The wait the last failure was given.
    std::chrono::milliseconds Wait() const { return backoff_.NextWait(); }

  private:
    ReadBackoff backoff_;
    std::function<void()> attempt_;
    std::unique_ptr<EventLoop::Timer> timer_;
};
