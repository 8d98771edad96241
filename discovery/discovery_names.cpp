#include "discovery/discovery_names.h"

#include <cstdint>
#include <cstdio>

#include "keymap/key_list_text.h"

namespace {

bool Plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// FNV-1a: the same on every machine and in every run.
std::uint32_t Hash(std::string_view text) {
    std::uint32_t hash = 2166136261U;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619U;
    }
    return hash;
}

}  // namespace

std::string DiscoveryNames::KeyName(const Key& key) {
    return KeyListText({key});
}

std::string DiscoveryNames::MapKeyName(const Key& key) {
    const std::size_t colon =
        key.GetKind() == Key::Kind::Name ? key.NameValue().find(':') : std::string::npos;
    return colon == std::string::npos ? KeyName(key)
                                      : KeyName(Key::Name(key.NameValue().substr(colon + 1)));
}

const char* DiscoveryNames::Word(Gesture gesture) {
    switch (gesture) {
        case Gesture::Press:
            return "press";
        case Gesture::Double:
            return "double";
        case Gesture::Long:
            return "long";
        case Gesture::Held:
            break;
    }
    return "held";
}

const char* DiscoveryNames::TriggerType(Gesture gesture) {
    switch (gesture) {
        case Gesture::Press:
            return "button_short_press";
        case Gesture::Double:
            return "button_double_press";
        case Gesture::Long:
            return "button_long_press";
        case Gesture::Held:
            break;
    }
    return "button_held";
}

std::string DiscoveryNames::EventType(Gesture gesture, const std::string& key) {
    return std::string(Word(gesture)) + ":" + key;
}

std::string DiscoveryNames::Slug(std::string_view text) {
    std::string slug;
    bool changed = text.empty();
    for (const char c : text) {
        slug += Plain(c) ? c : '_';
        changed = changed || !Plain(c);
    }
    if (changed) {
        char hash[16];
        std::snprintf(hash, sizeof hash, "_%08x", static_cast<unsigned>(Hash(text)));
        slug += hash;
    }
    return slug;
}
