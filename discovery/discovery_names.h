#pragma once

#include <string>
#include <string_view>

#include "source/key.h"
#include "source/key_reader.h"

// How Home Assistant's discovery names keys, gestures and ids.
struct DiscoveryNames {
    using Gesture = KeyReader::Gesture;

    // key as events and triggers name it: as the key map writes it ("96", "KEY_PLAYPAUSE",
    // "scan:0x800f0422"; a name that would read as another key, lircd's button "1", in
    // quotes), so no two keys share a name.
    static std::string KeyName(const Key& key);
    // The same for a key a map binds: one bound for one remote (tv:KEY_OK) is named as
    // the key its events carry, without the remote.
    static std::string MapKeyName(const Key& key);
    // "press", "double", "long", "held".
    static const char* Word(Gesture gesture);
    // Home Assistant's trigger type: button_short_press, button_double_press,
    // button_long_press; a held key's repeats have none of Home Assistant's own (its long
    // press is the long gesture's), so button_held, which it shows as "KEY button_held".
    static const char* TriggerType(Gesture gesture);
    // "press:KEY".
    static std::string EventType(Gesture gesture, const std::string& key);
    // text as an id of A-Z, a-z, 0-9, _ and - (a node or object id): any other byte is _,
    // and a text that had any gets _ and 8 hex digits of its hash, so that two texts never
    // share an id and each keeps its own from one run to the next.
    static std::string Slug(std::string_view text);
};
