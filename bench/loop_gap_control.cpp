// A control for the window bench's loop gaps: a process that does nothing but wake on a
// 1 ms timer, run beside it. A gap seen at the same moment here, by a thread that
// neither ran nor waited for a core, came from the machine (a virtual CPU held back by
// the host), not from the program.
//
//   quorvel_loop_gap_control [SECONDS]   (default 60)
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_clock.h"

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    const std::int64_t end = NowNs() + static_cast<std::int64_t>(seconds) * 1'000'000'000LL;
    std::int64_t last = NowNs();
    double lastCpu = ThreadCpuMs();
    double lastWait = ThreadRunQueueMs(schedstat);
    std::int64_t worst = 0;
    long turns = 0;
    long over16 = 0;
    while (last < end) {
        SleepUntil(last + 1'000'000);
        const std::int64_t now = NowNs();
        const double cpu = ThreadCpuMs();
        const double wait = ThreadRunQueueMs(schedstat);
        if (now - last > 16'000'000) {
            ++over16;
            std::printf(
                "  gap %.2f ms ending at CLOCK_MONOTONIC %.6f s: ran %.2f ms, waited for a core "
                "%.2f ms\n",
                static_cast<double>(now - last) / 1e6, static_cast<double>(now) / 1e9,
                cpu - lastCpu, wait - lastWait);
        }
        if (now - last > worst) {
            worst = now - last;
        }
        last = now;
        lastCpu = cpu;
        lastWait = wait;
        ++turns;
    }
    std::printf("%ld turns of a 1 ms timer in %d s: max gap %.2f ms, over 16 ms: %ld\n", turns,
                seconds, static_cast<double>(worst) / 1e6, over16);
    return 0;
}
