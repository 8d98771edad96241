#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "source/key_source.h"

// A key event as one Quorvel publishes it for another:
// {"key":"1","kind":"name","action":"press","remote":"tv","source":"lircd","from":"ID","seq":7},
// with "scancode":N where the receiver gave one with a named key. The kind ("code", "name",
// "scancode") says what the key text is, so a key means the same on every machine: lircd's
// button "1" stays a name, never the serial receiver's code 1. "from" (the publisher's
// client id, unique to its process) and "seq" (counting its keys from 1) make each event one
// of its own, so a message delivered twice acts once. Older Quorvels sent neither kind nor
// identity: their key text is read by its looks ("24" a code, "scan:0x..." a scancode, any
// other a name), and each message acts.
struct KeyMessage {
    KeyEvent event;
    std::string from;  // empty when the message has no identity
    std::uint64_t seq = 0;

    // The payload for event, read from a source of kind source.
    static std::string Encode(const KeyEvent& event, std::string_view source,
                              const std::string& from, std::uint64_t seq);
    // The message json holds (an object with a "key"); none, with why, when it is not one
    // (badName: as its key or remote name breaks the rule for names, Key::WhyNotAName).
    static std::optional<KeyMessage> Decode(const nlohmann::json& json, std::string& why,
                                            bool& badName);
    // "press", "repeat", "release".
    static const char* ActionText(KeyAction action);
    // "code", "name", "scancode".
    static const char* KindText(Key::Kind kind);
};
