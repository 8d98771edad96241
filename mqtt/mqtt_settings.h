#pragma once

#include <string>
#include <vector>

#include "mqtt/broker_address.h"

// How the MQTT source connects and what it does there, and what may be given for it.
struct MqttSettings {
    BrokerAddress broker;
    std::string password;  // with broker.user; empty for none
    std::string caFile;    // mqtts: the certificates to verify the broker by; empty: the system's
    // The subscriptions: Tasmota's, OpenMQTTGateway's and other Quorvels' by default.
    std::vector<std::string> topics = DefaultTopics();
    std::string name;      // this machine's, in topics: quorvel/NAME/key
    bool publish = false;  // keys of the other sources are published, with a status
    std::string clientId;  // empty: one made for this process (MakeClientId)

    static std::vector<std::string> DefaultTopics();
    // Why filter cannot be subscribed to; empty when it can.
    static std::string WhyNotATopic(const std::string& filter);
    // Why prefix cannot begin topics (Home Assistant's discovery prefix: levels, no + or
    // #); empty when it can.
    static std::string WhyNotAPrefix(const std::string& prefix);
    // Why name cannot name this machine in topics (a level of its own); empty when it can.
    static std::string WhyNotAName(const std::string& name);
    // The host name, as a name in topics.
    static std::string DefaultName();
    // quorvel-, then 16 random hex digits: unique to the process, wherever it runs (two
    // containers share a host name and a process id).
    static std::string MakeClientId();
    static std::string KeyTopic(const std::string& name) { return "quorvel/" + name + "/key"; }
    static std::string StatusTopic(const std::string& name) {
        return "quorvel/" + name + "/status";
    }
};
