// The program at line rate: events at a steady byte pace, every kind cycling (volume steps
// are real reads and writes of the player's Volume); events lost (history lines, player
// calls) and the program's CPU share. "silent" sends only events that command nothing;
// "window" runs the window (offscreen), whose history cannot be read from outside.
//
//   quorvel_line_rate_bench [SECONDS] [EVENTS_PER_SECOND] [window] [silent]   (600 480)
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdio>

#include "bench/bench_clock.h"
#include "bench/process_rig.h"

int main(int argc, char** argv) {
    const int seconds = NumberArgument(argc, argv, 1, 600);
    const int rate = NumberArgument(argc, argv, 2, 480);
    const bool window = HasWord(argc, argv, "window");
    const std::vector<Event>& events = HasWord(argc, argv, "silent") ? SilentEvents : MixedEvents;
    ProcessRig rig(window);
    const auto port = VirtualPort::CreatePty();
    auto quorvel = rig.StartPastFirstEvent(*port);
    if (!quorvel) {
        return 1;
    }
    std::vector<const Event*> sent{&Play};
    std::size_t expectedCalls = 1;

    PrintLoad("at start");
    const Usage before = ReadUsage(quorvel->Pid());
    const std::int64_t start = NowNs();
    const std::int64_t bytePeriod = 1'000'000'000LL / (2LL * rate);
    const std::int64_t total = static_cast<std::int64_t>(seconds) * rate;
    std::int64_t worstLateNs = 0;
    Usage slice = before;
    std::int64_t sliceStart = start;
    double worstSliceShare = 0;
    for (std::int64_t i = 0; i < total; ++i) {
        const Event& e = events[static_cast<std::size_t>(i) % events.size()];
        for (int b = 0; b < 2; ++b) {
            const std::int64_t due = start + (2 * i + b) * bytePeriod;
            SleepUntil(due);
            worstLateNs = std::max(worstLateNs, NowNs() - due);
            port->Write({b == 0 ? e.prefix : e.code});
        }
        sent.push_back(&e);
        expectedCalls += e.call != nullptr ? 1 : 0;
        // The share over each 10 s, to see whether it creeps up as the history grows.
        if ((i + 1) % (10LL * rate) == 0) {
            const Usage now = ReadUsage(quorvel->Pid());
            const std::int64_t at = NowNs();
            worstSliceShare =
                std::max(worstSliceShare, static_cast<double>(now.cpuNs - slice.cpuNs) /
                                              static_cast<double>(at - sliceStart));
            slice = now;
            sliceStart = at;
        }
    }
    const std::int64_t sendEnd = NowNs();
    const Usage after = ReadUsage(quorvel->Pid());
    PrintLoad("at end");

    // Let the last calls arrive.
    rig.player.WaitForCall(expectedCalls - 1, std::chrono::seconds(5));
    SleepNs(500'000'000);
    const std::size_t calls = rig.player.Calls().size();
    quorvel->Stop(SIGTERM);

    const double elapsed = static_cast<double>(sendEnd - start) / 1e9;
    std::printf("sent %" PRId64
                " events in %.1f s (%.1f a second), writer late by at most %.2f ms\n",
                total, elapsed, static_cast<double>(total) / elapsed, worstLateNs / 1e6);
    std::printf("player calls: expected %zu, received %zu, lost %zd\n", expectedCalls, calls,
                static_cast<std::ptrdiff_t>(expectedCalls) - static_cast<std::ptrdiff_t>(calls));
    if (!window) {
        // The history in a pipe: every final line once; the waiting line between events is
        // replaced by the event, so the event lines are the whole history after the start.
        const std::vector<ChildLine> lines = quorvel->Lines();
        std::size_t matched = 0;
        std::size_t other = 0;
        for (const ChildLine& line : lines) {
            if (matched < sent.size() && line.text == sent[matched]->line) {
                ++matched;
            } else {
                ++other;
            }
        }
        std::printf(
            "history lines: %zu, matching the events sent in order %zu of %zu, other %zu"
            ", events lost %zd\n",
            lines.size(), matched, sent.size(), other,
            static_cast<std::ptrdiff_t>(sent.size()) - static_cast<std::ptrdiff_t>(matched));
    }
    std::printf(
        "cpu: %.3f s over %.1f s = %.2f %% of one core (ticks: %.2f %%); worst 10 s window "
        "%.2f %%\n",
        (after.cpuNs - before.cpuNs) / 1e9, elapsed,
        100.0 * static_cast<double>(after.cpuNs - before.cpuNs) / (elapsed * 1e9),
        100.0 * static_cast<double>(after.ticks - before.ticks) /
            (elapsed * static_cast<double>(::sysconf(_SC_CLK_TCK))),
        100.0 * worstSliceShare);
    std::printf("context switches: voluntary %ld, involuntary %ld\n",
                after.voluntary - before.voluntary, after.involuntary - before.involuntary);
    PrintThreadDeltas(before, after);
    rig.ReportStderr();
    return 0;
}
