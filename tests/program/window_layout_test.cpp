#include "program/window_layout.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(WindowLayout, CaptionTakesTheVersionsMajorAndMinor) {
    for (const auto& [version, caption] :
         {std::pair{"0.1.0", "Quorvel V0.1"}, std::pair{"1.12.3-rc1", "Quorvel V1.12"},
          std::pair{"2.0", "Quorvel V2.0"}, std::pair{"3", "Quorvel V3"}}) {
        EXPECT_EQ(WindowLayout::CaptionFor(version), caption) << version;
    }
}

}  // namespace
