// The window left running under line noise: the real quorvel (offscreen) reads a
// pseudo-terminal fed random bytes at a steady rate, or as fast as it takes them, while its
// resident memory is sampled. At the end it is sent SIGTERM, and the time until it has
// ended is the time a flood may delay quitting.
//
//   quorvel_window_memory_bench [SECONDS] [BYTES_PER_SECOND]   (defaults 600 960; 0: flood)
//
// 960 bytes a second is a 9600-baud line full of noise.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "tools/virtual_port.h"

extern char** environ;

namespace {

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 960;
    auto port = VirtualPort::CreatePty();

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    std::string program = QUORVEL_PROGRAM_PATH;
    std::string portArg = port->readerPath();
    std::string portOption = "--port";
    char* args[] = {program.data(), portOption.data(), portArg.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args, environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    port->WaitForRawReader();

    std::mt19937 random(20261207);
    const std::int64_t start = NowNs();
    const std::int64_t end = start + static_cast<std::int64_t>(seconds) * 1'000'000'000LL;
    std::int64_t sent = 0;
    std::int64_t nextSample = start;
    long peak = 0;
    std::vector<unsigned char> chunk(rate > 0 ? 1 : 4096);
    while (NowNs() < end) {
        for (unsigned char& byte : chunk) {
            byte = static_cast<unsigned char>(random());
        }
        if (!port->Write(chunk)) {
            std::printf("the port was closed after %lld bytes\n", static_cast<long long>(sent));
            break;
        }
        sent += static_cast<std::int64_t>(chunk.size());
        if (rate > 0) {
            SleepUntil(start + sent * 1'000'000'000LL / rate);
        }
        if (NowNs() >= nextSample) {
            const long kb = ResidentKb(pid);
            peak = std::max(peak, kb);
            std::printf("%6.0f s  %10lld bytes  resident %7ld KiB\n",
                        static_cast<double>(NowNs() - start) / 1e9, static_cast<long long>(sent),
                        kb);
            std::fflush(stdout);
            nextSample += 10'000'000'000LL;
        }
    }
    const long last = ResidentKb(pid);
    const std::int64_t termSent = NowNs();
    ::kill(pid, SIGTERM);
    // The port must keep flowing while it quits, as line noise would.
    std::atomic<bool> quit{false};
    std::thread noise([&] {
        while (!quit.load() && port->Write(chunk, std::chrono::milliseconds(100))) {
        }
    });
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double quitMs = static_cast<double>(NowNs() - termSent) / 1e6;
    quit.store(true);
    noise.join();
    std::printf("sent %lld bytes in %d s; resident at the end %ld KiB, peak %ld KiB\n",
                static_cast<long long>(sent), seconds, last, peak);
    std::printf("SIGTERM to exit: %.1f ms (exit status %d)\n", quitMs,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
