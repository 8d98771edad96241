#include "discovery/discovery_device.h"

#include <nlohmann/json.hpp>

#include "mqtt/mqtt_settings.h"

namespace {

using Json = nlohmann::json;

// Names keep the rule for names (valid UTF-8), but a dump never throws.
std::string Text(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

constexpr const char* Program = "Quorvel";
// QUORVEL_VERSION and QUORVEL_HOMEPAGE come from the build.
constexpr const char* Version = QUORVEL_VERSION;
constexpr const char* Homepage = QUORVEL_HOMEPAGE;

}  // namespace

std::string DiscoveryDevice::NodeId() const {
    return "quorvel_" + DiscoveryNames::Slug(name);
}

std::string DiscoveryDevice::TriggerTopic(Gesture gesture, const std::string& key) const {
    return prefix + "/device_automation/" + NodeId() + "/" + DiscoveryNames::Word(gesture) + "_" +
           DiscoveryNames::Slug(key) + "/config";
}

std::string DiscoveryDevice::EntityTopic() const {
    return prefix + "/event/" + NodeId() + "/remote/config";
}

std::string DiscoveryDevice::EventTopic() const {
    return "quorvel/" + name + "/event";
}

namespace {

// What every config says of the device and of Quorvel.
Json Config(const DiscoveryDevice& device) {
    return Json{
        {"device",
         {{"identifiers", {device.NodeId()}},
          {"name", std::string(Program) + " " + device.name},
          {"model", Program},
          {"sw_version", Version}}},
        {"origin", {{"name", Program}, {"sw_version", Version}, {"support_url", Homepage}}}};
}

}  // namespace

std::string DiscoveryDevice::TriggerConfig(Gesture gesture, const std::string& key) const {
    Json config = Config(*this);
    config["automation_type"] = "trigger";
    config["topic"] = EventTopic();
    config["value_template"] = "{{ value_json.event_type }}";
    config["payload"] = DiscoveryNames::EventType(gesture, key);
    config["type"] = DiscoveryNames::TriggerType(gesture);
    config["subtype"] = key;
    return Text(config);
}

std::string DiscoveryDevice::EntityConfig(const std::vector<std::string>& eventTypes) const {
    Json config = Config(*this);
    config["name"] = "Remote";
    config["unique_id"] = NodeId() + "_remote";
    config["state_topic"] = EventTopic();
    config["event_types"] = eventTypes;
    config["device_class"] = "button";
    config["availability_topic"] = MqttSettings::StatusTopic(name);
    return Text(config);
}

std::string DiscoveryDevice::Event(Gesture gesture, const std::string& key,
                                   const std::string& source) {
    return Text(Json{{"event_type", DiscoveryNames::EventType(gesture, key)},
                     {"key", key},
                     {"gesture", DiscoveryNames::Word(gesture)},
                     {"source", source}});
}
