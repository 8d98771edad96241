#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>

#include "mqtt/mqtt_payload_decoder.h"

// Says what the MQTT source ignores: each kind once per topic, for Topics topics at most,
// so a flood of topics is no flood of lines. Its own and its status are never said.
class IgnoredMessages {
  public:
    static constexpr std::size_t Topics = 64;

    void Say(const std::string& topic, const MqttPayloadDecoder::Decoded& decoded);

  private:
    std::map<std::string, std::set<MqttPayloadDecoder::Ignored>> said_;
};
