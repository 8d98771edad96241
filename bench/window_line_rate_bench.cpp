// The window at line rate, measured from inside: the real form and receiver thread read a
// pseudo-terminal that another thread feeds with events at a steady pace, while a 1 ms timer
// on the UI thread records how long its event loop ever goes without turning. Runs
// offscreen; the player is NullPlayerLink, as the UI thread never touches the player.
//
//   quorvel_window_line_rate_bench [SECONDS] [EVENTS_PER_SECOND]   (defaults 60 480)
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "player/null_player_link.h"
#include "qt_app/form1.h"
#include "qt_app/history_view.h"
#include "receiver/ir_thread.h"
#include "serial/event_protocol.h"
#include "tests/doubles/serial_reader.h"

namespace {

// Every kind of two-byte event; none commands a player here.
constexpr std::uint8_t Events[][2] = {
    {KeyPrefix, 0x60}, {KeyPrefix, 0x98},    {KeyPrefix, 0x18},    {KeyPrefix, 0xB0},
    {KeyPrefix, 0x70}, {RepeatPrefix, 0xB0}, {RepeatPrefix, 0x70}, {KeyPrefix, 0x2A},
};

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 480;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    int master = -1;
    int slave = -1;
    char path[256] = {};
    if (::openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }

    std::optional<TForm1> form;
    form.emplace([&](ReceiverHost& receivers) {
        receivers.Start(
            SerialReader(path), [] { return std::make_unique<NullPlayerLink>(); },
            std::make_shared<const SharedKeyMap>());
    });
    form->show();

    // The UI thread's loop: the longest time between two turns of a 1 ms timer.
    std::vector<std::int64_t> gaps;
    gaps.reserve(static_cast<std::size_t>(seconds + 10) * 1000);
    std::int64_t lastTick = 0;
    std::atomic<bool> sending{false};
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    // For the longest gap, the UI thread's own CPU time in it: near the gap, the program was
    // busy; near zero, the thread was not running at all (another process or the host).
    const int schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    double lastCpu = 0;
    double lastWait = 0;
    struct Gap {
        std::int64_t end;
        std::int64_t length;
        double cpuMs;
        double waitMs;
    };
    std::vector<Gap> longGaps;
    Gap worst{};
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const std::int64_t now = NowNs();
        const double cpu = ThreadCpuMs();
        const double wait = ThreadRunQueueMs(schedstat);
        if (lastTick != 0 && sending.load(std::memory_order_relaxed)) {
            const Gap gap{now, now - lastTick, cpu - lastCpu, wait - lastWait};
            gaps.push_back(gap.length);
            if (gap.length > 16'000'000) {
                longGaps.push_back(gap);
            }
            if (gap.length > worst.length) {
                worst = gap;
            }
        }
        lastTick = now;
        lastCpu = cpu;
        lastWait = wait;
    });
    tick.start();

    std::int64_t sendStart = 0;
    std::int64_t sendEnd = 0;
    const std::int64_t total = static_cast<std::int64_t>(seconds) * rate;
    std::thread writer([&] {
        for (;;) {
            termios tio{};
            if (::tcgetattr(slave, &tio) == 0 && (tio.c_lflag & ICANON) == 0) {
                break;
            }
            SleepUntil(NowNs() + 10'000'000);
        }
        SleepUntil(NowNs() + 200'000'000);
        sending = true;
        sendStart = NowNs();
        const std::int64_t bytePeriod = 1'000'000'000LL / (2LL * rate);
        for (std::int64_t i = 0; i < total; ++i) {
            for (int b = 0; b < 2; ++b) {
                SleepUntil(sendStart + (2 * i + b) * bytePeriod);
                [[maybe_unused]] const ssize_t n =
                    ::write(master, &Events[i % std::size(Events)][b], 1);
            }
        }
        sendEnd = NowNs();
        SleepUntil(NowNs() + 500'000'000);
        sending = false;
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });

    const double uiCpuBefore = ThreadCpuMs();
    QApplication::exec();
    const double uiCpu = ThreadCpuMs() - uiCpuBefore;
    writer.join();

    std::sort(gaps.begin(), gaps.end());
    const auto over16 =
        std::count_if(gaps.begin(), gaps.end(), [](std::int64_t g) { return g > 16'000'000; });
    const double elapsed = static_cast<double>(sendEnd - sendStart) / 1e9;
    // The window starts with the greeting, which the receiver removes, then one line per
    // event and the waiting line.
    std::printf("sent %lld events in %.1f s; history lines %d (expected %lld): lost %lld\n",
                static_cast<long long>(total), elapsed, form->History->LineCount(),
                static_cast<long long>(total + 1),
                static_cast<long long>(total + 1 - form->History->LineCount()));
    std::printf(
        "UI loop gaps over %zu turns: median %.2f ms, p99.9 %.2f ms, max %.2f ms, "
        "over 16 ms: %lld\n",
        gaps.size(), static_cast<double>(gaps[gaps.size() / 2]) / 1e6,
        static_cast<double>(gaps[gaps.size() * 999 / 1000]) / 1e6,
        static_cast<double>(gaps.back()) / 1e6, static_cast<long long>(over16));
    std::printf(
        "in the longest gap, ending %.3f s after the first byte (CLOCK_MONOTONIC %.6f s), "
        "the UI thread ran for %.2f ms and waited for a core %.2f ms\n",
        static_cast<double>(worst.end - sendStart) / 1e9, static_cast<double>(worst.end) / 1e9,
        worst.cpuMs, worst.waitMs);
    // Ran through most of a gap yet was not waiting: the program was busy, or the host took
    // the virtual CPU away (a profile shows which: samples in the gap, or none).
    for (const Gap& g : longGaps) {
        std::printf(
            "  gap %.2f ms ending at %.3f s (CLOCK_MONOTONIC %.6f s): ran %.2f ms, waited for a "
            "core %.2f ms\n",
            static_cast<double>(g.length) / 1e6, static_cast<double>(g.end - sendStart) / 1e9,
            static_cast<double>(g.end) / 1e9, g.cpuMs, g.waitMs);
    }
    std::printf("UI thread cpu %.0f ms = %.2f %% of one core (includes the 1 ms timer)\n", uiCpu,
                100.0 * uiCpu / (elapsed * 1e3 + 700.0));
    receiver.Stop();
    ::close(master);
    ::close(slave);
    return 0;
}
