#pragma once

#include <chrono>

// How long a source waits before trying again after failures in a row, so a failing device
// cannot spin: nothing after a success, then 100 ms doubling up to the longest wait (a
// minute unless said) for each failure in a row.
class ReadBackoff {
  public:
    static constexpr std::chrono::milliseconds FirstWait{100};
    static constexpr std::chrono::milliseconds LongestWait{60000};

    explicit ReadBackoff(std::chrono::milliseconds longest = LongestWait) : longest_(longest) {}

    // The wait before the next try.
    std::chrono::milliseconds NextWait() const { return wait_; }
    void RecordFailure();
    void RecordSuccess() { wait_ = std::chrono::milliseconds::zero(); }

  private:
    std::chrono::milliseconds longest_;
    std::chrono::milliseconds wait_{0};
};
