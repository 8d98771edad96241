#include "player/mpris_player_cache.h"

#include <gtest/gtest.h>

namespace {

TEST(MprisPlayerCache, AVolumeIsADoubleOrAnInt32) {
    EXPECT_EQ(MprisPlayerCache::Volume(MprisValue(0.55)), 0.55);
    EXPECT_EQ(MprisPlayerCache::Volume(MprisValue(std::int32_t{1})), 1.0);
    EXPECT_EQ(MprisPlayerCache::Volume(MprisValue()), std::nullopt);
    EXPECT_EQ(MprisPlayerCache::Volume(MprisValue(std::string("1"))), std::nullopt);
}

}  // namespace
