#include "player/volume_step.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Case {
    const char* name;
    double volume;
    double step;
    double stepped;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class SteppedVolumeCase : public testing::TestWithParam<Case> {};

TEST_P(SteppedVolumeCase, NeverMovesTheWrongWay) {
    EXPECT_DOUBLE_EQ(SteppedVolume(GetParam().volume, GetParam().step), GetParam().stepped);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SteppedVolumeCase,
    testing::Values(Case{"UpStopsAtOne", 0.98, 0.05, 1.0}, Case{"Up", 0.5, 0.05, 0.55},
                    Case{"DownStopsAtZero", 0.03, -0.05, 0.0}, Case{"Down", 0.5, -0.05, 0.45},
                    // mpv and VLC go above 1.0: up leaves it there, down starts from 1.0.
                    Case{"UpAboveOneStays", 1.2, 0.05, 1.2}, Case{"DownAboveOne", 1.2, -0.05, 0.95},
                    Case{"DownFromHuge", 1e308, -0.05, 0.95},
                    Case{"DownFromTwoToThe62", 4611686018427387904.0, -0.05, 0.95},
                    Case{"UpFromHugeStays", 1e308, 0.05, 1e308},
                    // Below 0.0: down leaves it there, up starts from 0.0.
                    Case{"DownBelowZeroStays", -5, -0.05, -5}, Case{"UpBelowZero", -5, 0.05, 0.05},
                    Case{"UpFromLowestStays", -1e308, -0.05, -1e308},
                    Case{"DownFromInfinityStays", INFINITY, -0.05, INFINITY},
                    Case{"UpFromMinusInfinityStays", -INFINITY, 0.05, -INFINITY}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// NaN is left as it is, so the caller's "unchanged" test must be isfinite, not ==.
TEST(SteppedVolume, NaNStaysNaN) {
    EXPECT_TRUE(std::isnan(SteppedVolume(NAN, 0.05)));
    EXPECT_TRUE(std::isnan(SteppedVolume(NAN, -0.05)));
}

}  // namespace
