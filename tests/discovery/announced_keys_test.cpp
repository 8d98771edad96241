#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/announced_keys.h"
#include "discovery/discovery_names.h"

namespace {

using Types = std::vector<std::string>;

KeyMap Map(const char* text) {
    std::vector<std::string> problems;
    return KeyMap::Parse(text, "keys.conf", problems);
}

Types TypesOf(const AnnouncedKeys::Triggers& triggers) {
    Types types;
    for (const AnnouncedKeys::Trigger& trigger : triggers) {
        types.push_back(DiscoveryNames::EventType(trigger.gesture, trigger.key));
    }
    return types;
}

// The built-in keys of the sources in use: a serial receiver's codes, lircd's and the input
// devices' names, a broker's none; the built-in map in force adds nothing to them.
TEST(AnnouncedKeys, TheBuiltInKeysAreTheSourcesOwn) {
    AnnouncedKeys serial({"serial", "mqtt"});
    EXPECT_EQ(serial.EventTypes(), (Types{"press:112", "held:112", "press:152", "press:176",
                                          "held:176", "press:24", "press:96"}));
    EXPECT_TRUE(serial.Take(KeyMap::Standard()).came.empty());
    EXPECT_EQ(AnnouncedKeys({"lircd"}).EventTypes().size(), 16u);  // 14 keys, 2 held
    EXPECT_TRUE(AnnouncedKeys({"mqtt"}).EventTypes().empty());
}

// Each key of the map pressed and in each kind a line binds it for, in any section, as its
// events name it; a reload takes away what the map no longer binds, but for a key seen
// pressed; past MostSeen keys seen, no more.
TEST(AnnouncedKeys, FollowTheMapAndTheKeysSeen) {
    AnnouncedKeys keys({"mqtt"});
    EXPECT_EQ(
        TypesOf(keys.Take(Map("key KEY_A nothing\ndouble KEY_A nothing\nheld 5 nothing\n"
                              "[mode=tv]\nlong tv:KEY_B nothing\n"))
                    .came),
        (Types{"press:5", "held:5", "press:KEY_A", "double:KEY_A", "press:KEY_B", "long:KEY_B"}));
    bool full = false;
    EXPECT_FALSE(keys.Saw("KEY_A", full));
    EXPECT_TRUE(keys.Saw("NEC_20DF10EF", full));
    EXPECT_FALSE(keys.Saw("NEC_20DF10EF", full));
    const AnnouncedKeys::Change change = keys.Take(Map("long 5 nothing\n"));
    EXPECT_EQ(TypesOf(change.came), Types{"long:5"});
    EXPECT_EQ(TypesOf(change.gone), (Types{"held:5", "double:KEY_A", "press:KEY_B", "long:KEY_B"}));
    for (std::size_t i = 2; i < AnnouncedKeys::MostSeen; ++i) {
        ASSERT_TRUE(keys.Saw("K" + std::to_string(i), full));
    }
    EXPECT_FALSE(keys.Saw("ONE_TOO_MANY", full));
    EXPECT_TRUE(full);
}

}  // namespace
