#pragma once

#include <sys/syscall.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>

// Waits (up to a generous deadline) until thread tid sleeps in poll on nfds descriptors,
// with no time-out when forever is set (the proof that an idle read neither spins nor wakes
// periodically), with some time-out otherwise.
inline bool WaitUntilPolling(pid_t tid, unsigned nfds, bool forever) {
#ifdef SYS_poll
    constexpr long PollCall = SYS_poll;  // poll(fds, nfds, timeout)
#else
    constexpr long PollCall = -2;
#endif
    constexpr long PpollCall = SYS_ppoll;  // ppoll(fds, nfds, timeout*, ...)
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file(path);
        long call = -1;
        std::uint64_t fds = 0, count = 0, timeout = 0;
        if (file >> call >> std::hex >> fds >> count >> timeout && count == nfds) {
            const bool noTimeout = (call == PollCall && static_cast<int>(timeout) == -1) ||
                                   (call == PpollCall && timeout == 0);
            if ((call == PollCall || call == PpollCall) && noTimeout == forever) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}
