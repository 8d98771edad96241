#pragma once

#include <optional>
#include <string>
#include <string_view>

// Where the MQTT broker is, as --mqtt gives it: mqtt://[USER@]HOST[:PORT], or mqtts://...
// for TLS. HOST is a name, an IPv4 address or an IPv6 one in brackets. The password is never
// part of it.
struct BrokerAddress {
    static constexpr int PlainPort = 1883;
    static constexpr int TlsPort = 8883;

    bool tls = false;
    std::string user;  // empty: no login
    std::string host;  // an IPv6 address without its brackets
    int port = PlainPort;

    // The address url gives; none, with why, when it gives none.
    static std::optional<BrokerAddress> Parse(std::string_view url, std::string& why);
    // Whether host is an address already, which needs no name lookup.
    bool Literal() const;
    // How the user is told which broker: "mqtt://HOST:PORT".
    std::string Text() const;
};
