#include <gtest/gtest.h>

#include <string>

#include "discovery/discovery_names.h"

namespace {

// Ids keep to A-Z, a-z, 0-9, _ and -; a text that had anything else keeps a hash of its
// own, so texts that slug alike never share an id, and an id is the same in every run.
TEST(DiscoveryNames, SlugsAreIdsOfTheirOwn) {
    const struct {
        const char* text;
        const char* slug;
    } cases[] = {
        {"KEY_PLAYPAUSE", "KEY_PLAYPAUSE"},
        {"ch-up", "ch-up"},
        {"ch/up", "ch_up_8cf7b366"},
        {"\"1\"", "_1__012a777a"},
        {"den.lan", "den_lan_e8d7ec61"},
        {"", "_811c9dc5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DiscoveryNames::Slug(c.text), c.slug) << c.text;
    }
}

// A key is named as the map writes it, so lircd's button "1" is never the receiver's code 1;
// a map's key for one remote is the key its events carry. (The other gestures' trigger
// types are in the broker's test.)
TEST(DiscoveryNames, KeysAreNamedAsTheMapWritesThem) {
    EXPECT_STREQ(DiscoveryNames::TriggerType(KeyReader::Gesture::Long), "button_long_press");
    EXPECT_EQ(DiscoveryNames::KeyName(Key::Code(96)), "96");
    EXPECT_EQ(DiscoveryNames::KeyName(Key::Name("1")), "\"1\"");
    EXPECT_EQ(DiscoveryNames::KeyName(Key::Scancode(0x800f0422)), "scan:0x800f0422");
    EXPECT_EQ(DiscoveryNames::MapKeyName(Key::Name("tv:KEY_OK")), "KEY_OK");
    EXPECT_EQ(DiscoveryNames::MapKeyName(Key::Name("tv:1")), "\"1\"");
}

}  // namespace
