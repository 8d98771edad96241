#include "mqtt/mqtt_settings.h"

#include <mosquitto.h>

#include <cstdint>
#include <cstdio>
#include <random>

#include "log/untrusted_text.h"
#include "mqtt/network_calls.h"

std::vector<std::string> MqttSettings::DefaultTopics() {
    return {"tele/+/RESULT", "tele/+/IRRECEIVED", "home/+/IRtoMQTT", "quorvel/+/key"};
}

std::string MqttSettings::WhyNotATopic(const std::string& filter) {
    if (mosquitto_sub_topic_check(filter.c_str()) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(filter.c_str(), static_cast<int>(filter.size())) !=
            MOSQ_ERR_SUCCESS ||
        filter.empty()) {
        return "'" + UntrustedText(filter) +
               "' is no topic filter (levels between /, + for any one level, # for the rest)";
    }
    return {};
}

std::string MqttSettings::WhyNotAPrefix(const std::string& prefix) {
    const std::string topic = prefix + "/status";
    if (prefix.empty() || prefix.back() == '/' || prefix.size() > 200 ||
        mosquitto_pub_topic_check(topic.c_str()) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(topic.c_str(), static_cast<int>(topic.size())) !=
            MOSQ_ERR_SUCCESS) {
        return "'" + UntrustedText(prefix) +
               "' cannot begin topics (levels between /, no + or #, at most 200 bytes)";
    }
    return {};
}

std::string MqttSettings::WhyNotAName(const std::string& name) {
    if (name.empty() || name.size() > 100 || name.find_first_of("/+#") != std::string::npos ||
        mosquitto_validate_utf8(name.c_str(), static_cast<int>(name.size())) != MOSQ_ERR_SUCCESS) {
        return "'" + UntrustedText(name) +
               "' cannot name this machine in topics (no /, + or #, at most 100 bytes)";
    }
    return {};
}

std::string MqttSettings::DefaultName() {
    const std::string host = HostName();
    return host.empty() || !WhyNotAName(host).empty() ? "quorvel" : host;
}

std::string MqttSettings::MakeClientId() {
    std::random_device random;
    const std::uint64_t bits = (std::uint64_t{random()} << 32) | random();
    char id[32];
    std::snprintf(id, sizeof id, "quorvel-%016llx", static_cast<unsigned long long>(bits));
    return id;
}
