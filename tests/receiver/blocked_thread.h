#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

// Waits (up to a generous deadline) until thread tid sleeps in poll on nfds descriptors
// with no time-out: the proof that an idle read neither spins nor wakes periodically.
inline bool WaitUntilPollingForever(pid_t tid, unsigned nfds) {
    constexpr long PollCall = 7;     // x86-64 poll(fds, nfds, timeout)
    constexpr long PpollCall = 271;  // x86-64 ppoll(fds, nfds, timeout*, ...)
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file(path);
        long call = -1;
        std::uint64_t fds = 0, count = 0, timeout = 0;
        if (file >> call >> std::hex >> fds >> count >> timeout && count == nfds &&
            ((call == PollCall && static_cast<int>(timeout) == -1) ||
             (call == PpollCall && timeout == 0))) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
