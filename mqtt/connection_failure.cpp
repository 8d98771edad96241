#include "mqtt/connection_failure.h"

#include <mosquitto.h>

#include "log/untrusted_text.h"
#include "mqtt/network_calls.h"

std::string ConnectionFailure::Text() const {
    const std::string who = "the MQTT broker at " + broker;
    if (!refusal.empty()) {
        return who + " refused the login: " + UntrustedText(refusal);
    }
    if (result == MOSQ_ERR_TLS) {
        return "the TLS connection to " + who + " failed" +
               (logged.empty() ? std::string() : ": " + UntrustedText(logged));
    }
    if (result == MOSQ_ERR_ERRNO && error != 0) {
        return "cannot connect to " + who + ": " + SocketErrorText(error);
    }
    if (result == MOSQ_ERR_EAI) {
        return "cannot find " + who + ": no such host (or no name server answers)";
    }
    if (result == MOSQ_ERR_CONN_LOST || result == MOSQ_ERR_KEEPALIVE) {
        return everConnected ? who + " went away"
                             : who + " closed the connection before it was set up";
    }
    return "the connection to " + who + " failed: " + mosquitto_strerror(result);
}
