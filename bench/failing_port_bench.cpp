// --port at a path that does not exist: the program's CPU time and its history lines,
// timestamped as they reach the pipe, to see the read back-off.
//
//   quorvel_failing_port_bench [SECONDS]      (default 10)
#include <csignal>
#include <cstdio>

#include "bench/bench_clock.h"
#include "bench/process_rig.h"
#include "receiver/signal_cycle.h"

int main(int argc, char** argv) {
    const int seconds = NumberArgument(argc, argv, 1, 10);
    ProcessRig rig;
    const std::int64_t start = NowNs();
    auto quorvel = rig.StartQuorvel("/nonexistent/quorvel-bench-port");
    SleepNs(1'000'000'000);
    const Usage before = ReadUsage(quorvel->Pid());
    const std::int64_t from = NowNs();
    SleepNs(static_cast<std::int64_t>(seconds) * 1'000'000'000LL);
    const Usage after = ReadUsage(quorvel->Pid());
    const std::int64_t to = NowNs();
    quorvel->Stop(SIGTERM);
    const std::vector<ChildLine> lines = quorvel->Lines();
    std::size_t inWindow = 0;
    std::size_t errors = 0;
    for (const ChildLine& line : lines) {
        if (line.atNs >= from && line.atNs < to) {
            ++inWindow;
            errors += line.text == SignalCycle::ReadErrorText ? 1 : 0;
        }
    }
    std::printf(
        "failing port, %.1f s from 1 s after start: cpu %.3f ms = %.3f %% of one core; "
        "since start %.3f ms\n",
        (to - from) / 1e9, (after.cpuNs - before.cpuNs) / 1e6,
        100.0 * static_cast<double>(after.cpuNs - before.cpuNs) / static_cast<double>(to - from),
        after.cpuNs / 1e6);
    std::printf("history lines in that time: %zu (%zu read errors); in all %zu:\n", inWindow,
                errors, lines.size());
    for (const ChildLine& line : lines) {
        std::printf("  %8.3f s  %s\n", (line.atNs - start) / 1e9, line.text.c_str());
    }
    rig.ReportStderr();
    return 0;
}
