#include "player/volume_step.h"

#include <gtest/gtest.h>

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
    testing::Values(Case{"UpStopsAtOne", 0.98, 0.05, 1.0},
                    Case{"DownStopsAtZero", 0.03, -0.05, 0.0},
                    // mpv and VLC go above 1.0: up leaves it there, down comes down from it.
                    Case{"UpAboveOneStays", 1.2, 0.05, 1.2}, Case{"DownAboveOne", 1.2, -0.05, 1.15},
                    Case{"DownBelowZeroStays", -0.5, -0.05, -0.5}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
