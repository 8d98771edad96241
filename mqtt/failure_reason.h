#pragma once

#include <string>

// Why an attempt to connect to a broker failed, or the connection was lost, in words for the
// user, from libmosquitto's result (errno in error for MOSQ_ERR_ERRNO).
struct FailureReason {
    std::string broker;   // "the MQTT broker at URL"
    std::string refusal;  // the broker's reason for refusing the login; empty when it did not
    std::string logged;   // libmosquitto's last error (OpenSSL's, for TLS)
    bool everConnected = false;

    std::string Text(int result, int error) const;
};
