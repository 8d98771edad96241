#pragma once

#include <sys/syscall.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

// Waits (up to a generous deadline) until thread tid sleeps in an event loop's wait with no
// time-out: the proof that an idle receiver neither spins nor wakes now and then.
inline bool WaitUntilIdle(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file(path);
        long call = -1;
        std::uint64_t fd = 0, events = 0, count = 0, timeout = 0;
        if (file >> call >> std::hex >> fd >> events >> count >> timeout) {
            // epoll_wait and epoll_pwait take -1 for none; epoll_pwait2 a null time-out.
            if (((call == SYS_epoll_wait || call == SYS_epoll_pwait) &&
                 static_cast<int>(timeout) == -1) ||
                (call == SYS_epoll_pwait2 && timeout == 0)) {
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

    // True once the call sleeps with no time-out; see WaitUntilIdle.
    bool Idle() {
        while (tid_.load() == 0) {
            std::this_thread::yield();
        }
        return WaitUntilIdle(tid_.load());
    }
    Result Get() {
        thread_.join();
        return *result_;
    }

  private:
    std::atomic<pid_t> tid_{0};
    std::optional<Result> result_;
    std::thread thread_;
};
