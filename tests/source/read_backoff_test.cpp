#include "source/read_backoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;

// Applies events ("F" failure, "S" success) and collects the wait after each.
std::vector<long> WaitsAfter(const std::string& events) {
    ReadBackoff backoff;
    std::vector<long> waits;
    for (const char event : events) {
        if (event == 'F') {
            backoff.RecordFailure();
        } else {
            backoff.RecordSuccess();
        }
        waits.push_back(static_cast<long>(backoff.NextWait().count()));
    }
    return waits;
}

TEST(ReadBackoff, NoWaitBeforeAnyFailure) {
    EXPECT_EQ(ReadBackoff().NextWait(), milliseconds(0));
}

struct Case {
    const char* events;
    std::vector<long> waits;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.events;
}

class ReadBackoffTest : public testing::TestWithParam<Case> {};

TEST_P(ReadBackoffTest, Schedule) {
    EXPECT_EQ(WaitsAfter(GetParam().events), GetParam().waits) << GetParam().events;
}

INSTANTIATE_TEST_SUITE_P(Events, ReadBackoffTest,
                         testing::Values(
                             // Doubling from 100 ms, held at a minute.
                             Case{"FFFFFFFFFFFF",
                                  {100, 200, 400, 800, 1600, 3200, 6400, 12800, 25600, 51200, 60000,
                                   60000}},
                             // A good byte clears it; the next failure starts again at 100 ms.
                             Case{"FFFSF", {100, 200, 400, 0, 100}}, Case{"SSF", {0, 0, 100}}));

}  // namespace
