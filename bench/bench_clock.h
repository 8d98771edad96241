#pragma once

#include <time.h>

#include <cerrno>
#include <cstdint>

// The monotonic clock in nanoseconds, and sleeping until a point on it.
inline std::int64_t NowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

inline void SleepUntil(std::int64_t ns) {
    timespec ts{static_cast<time_t>(ns / 1'000'000'000LL), static_cast<long>(ns % 1'000'000'000LL)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}
