#include "program/latest_problem.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

// The window's thread is asked once for a burst, takes only the latest, and hears of a
// problem solved only when one was shown.
TEST(LatestProblem, HandsTheWindowTheLatestChangeWithOnePost) {
    int posts = 0;
    LatestProblem problems([&posts] { ++posts; });
    problems.Solved();
    EXPECT_EQ(posts, 0);
    EXPECT_FALSE(problems.Take().has_value());

    // From the receiver's thread: the change crosses under the lock.
    std::thread([&problems] { problems.Show("no MPRIS player named vlc", false); }).join();
    problems.Show("key map not reloaded", true);
    EXPECT_EQ(posts, 1);
    const auto change = problems.Take();
    ASSERT_TRUE(change.has_value());
    EXPECT_EQ(change->problem, "key map not reloaded");
    EXPECT_TRUE(change->notify);
    EXPECT_FALSE(problems.Take().has_value());

    problems.Solved();
    problems.Solved();
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(problems.Take()->problem, "");
}

}  // namespace
