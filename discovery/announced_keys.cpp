#include "discovery/announced_keys.h"

#include <algorithm>
#include <iterator>

#include "discovery/discovery_names.h"

namespace {

using Gesture = KeyReader::Gesture;
using Triggers = AnnouncedKeys::Triggers;

Gesture GestureOf(KeyMap::Kind kind) {
    switch (kind) {
        case KeyMap::Kind::Press:
            return Gesture::Press;
        case KeyMap::Kind::Held:
            return Gesture::Held;
        case KeyMap::Kind::Double:
            return Gesture::Double;
        case KeyMap::Kind::Long:
            break;
    }
    return Gesture::Long;
}

// Each key of map that fits, pressed, and in each kind a line binds it for.
template <typename Fits>
Triggers TriggersOf(const KeyMap& map, Fits fits) {
    Triggers triggers;
    for (const KeyMap::Line& line : map.Lines()) {
        for (const Key& key : line.keys) {
            if (fits(key)) {
                const std::string name = DiscoveryNames::MapKeyName(key);
                triggers.insert({name, Gesture::Press});
                triggers.insert({name, GestureOf(line.kind)});
            }
        }
    }
    return triggers;
}

Triggers Without(const Triggers& from, const Triggers& less) {
    Triggers left;
    std::set_difference(from.begin(), from.end(), less.begin(), less.end(),
                        std::inserter(left, left.end()));
    return left;
}

}  // namespace

AnnouncedKeys::AnnouncedKeys(const std::vector<std::string>& kinds) {
    const auto uses = [&kinds](auto fits) { return std::any_of(kinds.begin(), kinds.end(), fits); };
    // A serial receiver sends codes; lircd and the input devices name keys. A broker's keys
    // are other machines': they are announced as they come.
    const bool codes = uses([](const std::string& kind) { return kind == "serial"; });
    const bool names =
        uses([](const std::string& kind) { return kind != "serial" && kind != "mqtt"; });
    fixed_ = TriggersOf(KeyMap::Standard(), [&](const Key& key) {
        return key.GetKind() == Key::Kind::Code ? codes : names;
    });
    all_ = fixed_;
}

AnnouncedKeys::Change AnnouncedKeys::Take(const KeyMap& map) {
    const Triggers before = all_;
    mapped_ = map.Format() == KeyMap::Standard().Format()
                  ? Triggers{}
                  : TriggersOf(map, [](const Key&) { return true; });
    all_ = fixed_;
    all_.insert(mapped_.begin(), mapped_.end());
    for (const std::string& key : seen_) {
        all_.insert({key, Gesture::Press});
    }
    return {Without(before, all_), Without(all_, before)};
}

std::optional<AnnouncedKeys::Trigger> AnnouncedKeys::Saw(const std::string& key, bool& full) {
    full = false;
    const Trigger press{key, Gesture::Press};
    if (seen_.count(key) > 0 || Has(press)) {
        if (seen_.size() < MostSeen) {
            seen_.insert(key);  // kept, should the map let it go
        }
        return std::nullopt;
    }
    if (seen_.size() >= MostSeen) {
        full = true;
        return std::nullopt;
    }
    seen_.insert(key);
    all_.insert(press);
    return press;
}

std::vector<std::string> AnnouncedKeys::EventTypes() const {
    std::vector<std::string> types;
    for (const Trigger& trigger : all_) {
        types.push_back(DiscoveryNames::EventType(trigger.gesture, trigger.key));
    }
    return types;
}
