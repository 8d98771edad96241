#pragma once

#include <chrono>

// Where the signal cycle learns when an event's bytes arrived: the steady clock, or a
// test's own, so that timing needs no sleeps.
class EventClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~EventClock() = default;
    virtual TimePoint Now() = 0;

    // The steady clock; safe from any thread.
    static EventClock& Steady();
};
