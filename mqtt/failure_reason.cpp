#include "mqtt/failure_reason.h"

#include <mosquitto.h>

#include "log/untrusted_text.h"
#include "mqtt/network_calls.h"

std::string FailureReason::Text(int result, int error) const {
    if (!refusal.empty()) {
        return broker + " refused the login: " + UntrustedText(refusal);
    }
    if (result == MOSQ_ERR_TLS) {
        return "the TLS connection to " + broker + " failed" +
               (logged.empty() ? std::string() : ": " + UntrustedText(logged));
    }
    if (result == MOSQ_ERR_ERRNO && error != 0) {
        return "cannot connect to " + broker + ": " + SocketErrorText(error);
    }
    if (result == MOSQ_ERR_EAI) {
        return "cannot find " + broker + ": no such host (or no name server answers)";
    }
    if (result == MOSQ_ERR_CONN_LOST || result == MOSQ_ERR_KEEPALIVE) {
        return everConnected ? broker + " went away"
                             : broker + " closed the connection before it was set up";
    }
    return "the connection to " + broker + " failed: " + mosquitto_strerror(result);
}
