#include "source/read_backoff.h"

#include <algorithm>

void ReadBackoff::RecordFailure() {
    wait_ = wait_ == std::chrono::milliseconds::zero() ? FirstWait : std::min(wait_ * 2, longest_);
}
