#pragma once

#include <sys/syscall.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
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

// A call made on its own thread, so the test can see it block and then wake it.
template <typename Result>
class BlockedCall {
  public:
    explicit BlockedCall(std::function<Result()> call)
        : thread_([this, call = std::move(call)] {
              tid_.store(::gettid());
              result_ = call();
          }) {}
    ~BlockedCall() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    BlockedCall(const BlockedCall&) = delete;
    BlockedCall& operator=(const BlockedCall&) = delete;

    // True once the call sleeps in poll; see WaitUntilPolling.
    bool Polling(unsigned nfds, bool forever) {
        while (tid_.load() == 0) {
            std::this_thread::yield();
        }
        return WaitUntilPolling(tid_.load(), nfds, forever);
    }
    Result Get() {
        thread_.join();
        return result_;
    }

  private:
    std::atomic<pid_t> tid_{0};
    Result result_{};
    std::thread thread_;
};
