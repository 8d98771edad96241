#pragma once

#include <string>

// Why a connection to the broker failed, in words for the user, from what libmosquitto
// returned: a login refused with the broker's reason, TLS with the client's, the system's
// error, a name not found, a broker that went away or never let the connection be set up.
struct ConnectionFailure {
    std::string broker;          // as the user named it (BrokerAddress::Text)
    int result = 0;              // libmosquitto's
    int error = 0;               // the system's, with MOSQ_ERR_ERRNO
    std::string logged;          // the client's last error (MqttClient::Logged)
    std::string refusal;         // the broker's reason for refusing the login; empty: none
    bool everConnected = false;  // connected once since the start

    std::string Text() const;
};
