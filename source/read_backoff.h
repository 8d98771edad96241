#pragma once

#include <chrono>

// How long a read waits after failed reads, so a failing port cannot spin: nothing after a
// good byte, then 100 ms doubling up to a minute for each failure in a row.
class ReadBackoff {
  public:
    static constexpr std::chrono::milliseconds FirstWait{100};
    static constexpr std::chrono::milliseconds LongestWait{60000};

    // The wait before the next read.
    std::chrono::milliseconds NextWait() const { return wait_; }
    void RecordFailure();
    void RecordSuccess() { wait_ = std::chrono::milliseconds::zero(); }

  private:
    std::chrono::milliseconds wait_{0};
};
