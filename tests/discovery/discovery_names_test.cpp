#include <gtest/gtest.h>

#include <string>

#include "discovery/discovery_device.h"
#include "discovery/discovery_names.h"

namespace {

using Gesture = KeyReader::Gesture;

// Ids keep to A-Z, a-z, 0-9, _ and -; a text that had anything else keeps a hash of its
// own, so texts that slug alike never share an id, and an id is the same in every run.
TEST(DiscoveryNames, SlugsAreIdsOfTheirOwn) {
    const struct {
        const char* text;
        const char* slug;
    } cases[] = {
        {"KEY_PLAYPAUSE", "KEY_PLAYPAUSE"},
        {"NEC_20DF10EF", "NEC_20DF10EF"},
        {"ch-up", "ch-up"},
        {"ch/up", "ch_up_8cf7b366"},
        {"ch:up", "ch_up_b4a68b61"},
        {"\"1\"", "_1__012a777a"},
        {"den.lan", "den_lan_e8d7ec61"},
        {"", "_811c9dc5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DiscoveryNames::Slug(c.text), c.slug) << c.text;
    }
}

// A key is named as the map writes it, so lircd's button "1" is never the receiver's code 1;
// a map's key for one remote is the key its events carry.
TEST(DiscoveryNames, KeysAreNamedAsTheMapWritesThem) {
    EXPECT_EQ(DiscoveryNames::KeyName(Key::Code(96)), "96");
    EXPECT_EQ(DiscoveryNames::KeyName(Key::Name("1")), "\"1\"");
    EXPECT_EQ(DiscoveryNames::KeyName(Key::Scancode(0x800f0422)), "scan:0x800f0422");
    EXPECT_EQ(DiscoveryNames::MapKeyName(Key::Name("tv:KEY_OK")), "KEY_OK");
    EXPECT_EQ(DiscoveryNames::MapKeyName(Key::Name("tv:1")), "\"1\"");
}

TEST(DiscoveryNames, EachGestureHasAWordAnEventTypeAndATriggerType) {
    const struct {
        Gesture gesture;
        const char* event;
        const char* type;
        const char* topic;
    } cases[] = {
        {Gesture::Press, "press:96", "button_short_press", "press_96"},
        {Gesture::Double, "double:96", "button_double_press", "double_96"},
        {Gesture::Long, "long:96", "button_long_press", "long_96"},
        {Gesture::Held, "held:96", "button_held", "held_96"},
    };
    const DiscoveryDevice device{"homeassistant", "den.lan"};
    for (const auto& c : cases) {
        EXPECT_EQ(DiscoveryNames::EventType(c.gesture, "96"), c.event);
        EXPECT_EQ(DiscoveryNames::TriggerType(c.gesture), std::string(c.type));
        EXPECT_EQ(device.TriggerTopic(c.gesture, "96"),
                  "homeassistant/device_automation/quorvel_den_lan_e8d7ec61/" +
                      std::string(c.topic) + "/config");
    }
}

}  // namespace
