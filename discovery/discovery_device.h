#pragma once

#include <string>
#include <vector>

#include "discovery/discovery_names.h"

// This machine as Home Assistant's MQTT discovery sees it: the topics and the JSON of its
// configs and events. A device "Quorvel NAME" (identifiers quorvel_NAME, NAME as a slug),
// a device trigger for each key and gesture (type button_short_press and so on, subtype the
// key), matching {{ value_json.event_type }} on quorvel/NAME/event, and one event entity
// whose event types are the same, available while quorvel/NAME/status is online. Each
// config names Quorvel as its origin.
struct DiscoveryDevice {
    using Gesture = KeyReader::Gesture;

    std::string prefix;  // Home Assistant's discovery prefix: homeassistant
    std::string name;    // the machine's name in topics: quorvel/NAME/...

    // quorvel_NAME, NAME as a slug.
    std::string NodeId() const;
    // PREFIX/device_automation/NODE/OBJECT/config, OBJECT the gesture's word and the key's
    // slug: press_KEY_PLAYPAUSE.
    std::string TriggerTopic(Gesture gesture, const std::string& key) const;
    // PREFIX/event/NODE/remote/config.
    std::string EntityTopic() const;
    // quorvel/NAME/event.
    std::string EventTopic() const;
    // PREFIX/status, where Home Assistant says it is online.
    std::string HomeAssistantStatusTopic() const { return prefix + "/status"; }

    std::string TriggerConfig(Gesture gesture, const std::string& key) const;
    std::string EntityConfig(const std::vector<std::string>& eventTypes) const;
    // {"event_type":"press:KEY","key":"KEY","gesture":"press","source":"lircd"}.
    static std::string Event(Gesture gesture, const std::string& key, const std::string& source);
};
