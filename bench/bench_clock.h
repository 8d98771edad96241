#pragma once

#include <time.h>

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

// The monotonic clock in nanoseconds, and sleeping until a point on it; the calling
// thread's own CPU time and its time spent waiting for a core.
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

// The calling thread's time spent waiting for a CPU while runnable, from the scheduler's
// statistics (fd is /proc/thread-self/schedstat, opened by that thread): a gap in which it
// grew, the thread was ready but others had the cores.
inline double ThreadRunQueueMs(int fd) {
    char text[128] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    unsigned long long onCpu = 0;
    unsigned long long waiting = 0;
    if (n <= 0 || std::sscanf(text, "%llu %llu", &onCpu, &waiting) != 2) {
        return 0;
    }
    return static_cast<double>(waiting) / 1e6;
}

inline double ThreadCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}
