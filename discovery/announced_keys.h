#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "keymap/key_map.h"
#include "source/key_reader.h"

// The keys Home Assistant is told of, each with the gestures it can make: every key the map
// in force binds (its press, and what each of its lines binds: held, double, long, in any
// section), every key of the built-in map for the kinds of source in use (a serial
// receiver's codes; lircd's and the input devices' media keys; a broker's none), and every
// key seen pressed since the start (its press), up to MostSeen of those. The built-in map in
// force counts as the built-in keys of those sources only. Keys go by DiscoveryNames'
// names. Used on one thread.
class AnnouncedKeys {
  public:
    using Gesture = KeyReader::Gesture;
    // The most keys taken from presses alone: a bridge that reports every code in the room
    // never fills Home Assistant's device.
    static constexpr std::size_t MostSeen = 200;

    struct Trigger {
        std::string key;
        Gesture gesture = Gesture::Press;
        auto operator<=>(const Trigger&) const = default;
    };
    using Triggers = std::set<Trigger>;
    struct Change {
        Triggers gone;
        Triggers came;
    };

    // kinds: KeySource::Kind of each source in use.
    explicit AnnouncedKeys(const std::vector<std::string>& kinds);

    // map is in force now: the triggers that went with the one before, and that came.
    Change Take(const KeyMap& map);
    // key (a name) was pressed: its press's trigger when the key is new; none when it was
    // known, or when it is not as MostSeen keys were seen (full).
    std::optional<Trigger> Saw(const std::string& key, bool& full);

    bool Has(const Trigger& trigger) const { return all_.count(trigger) > 0; }
    // Every trigger, by key, then gesture.
    const Triggers& All() const { return all_; }
    // Each trigger's event type ("press:KEY"), in All's order.
    std::vector<std::string> EventTypes() const;

  private:
    Triggers fixed_;   // the built-in keys of the sources in use
    Triggers mapped_;  // the map's
    std::set<std::string> seen_;
    Triggers all_;
};
