#include "mqtt/broker_address.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <algorithm>
#include <cctype>

#include "log/untrusted_text.h"
#include "text/number_text.h"

namespace {

bool Plain(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == '_';
    });
}

// url as it may be shown: a password in it is never printed.
std::string Shown(std::string_view url) {
    const std::size_t scheme = url.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t at = url.find('@', start);
    const std::size_t colon = url.find(':', start);
    if (at == std::string_view::npos || colon == std::string_view::npos || colon > at) {
        return std::string(url);
    }
    return std::string(url.substr(0, colon)) + ":(password not shown)" +
           std::string(url.substr(at));
}

}  // namespace

std::optional<BrokerAddress> BrokerAddress::Parse(std::string_view url, std::string& why) {
    BrokerAddress address;
    const std::string quoted = "'" + UntrustedText(Shown(url)) + "'";
    if (url.starts_with("mqtts://")) {
        address.tls = true;
        address.port = TlsPort;
        url.remove_prefix(8);
    } else if (url.starts_with("mqtt://")) {
        url.remove_prefix(7);
    } else {
        why = quoted + " is no broker's address: mqtt://[USER@]HOST[:PORT], or mqtts://... for TLS";
        return std::nullopt;
    }
    if (url.ends_with('/')) {
        url.remove_suffix(1);
    }
    if (const std::size_t extra = url.find_first_of("/?#"); extra != std::string_view::npos) {
        why = quoted + " has a path, query or fragment after its host (" +
              UntrustedText(url.substr(extra)) +
              "): a broker's address is mqtt://[USER@]HOST[:PORT] alone";
        return std::nullopt;
    }
    if (const std::size_t at = url.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = url.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            why = quoted + " holds a password: it is read from the file mqtt-password-file names";
            return std::nullopt;
        }
        if (user.empty() || !Plain(user)) {
            why = quoted + " has no user name before its @ (letters, digits, - . _)";
            return std::nullopt;
        }
        address.user = user;
        url.remove_prefix(at + 1);
    }
    std::string_view port;
    if (url.starts_with('[')) {
        const std::size_t close = url.find(']');
        if (close == std::string_view::npos) {
            why = quoted + " has an IPv6 address without its closing ]";
            return std::nullopt;
        }
        address.host = url.substr(1, close - 1);
        url.remove_prefix(close + 1);
        if (!url.empty() && !url.starts_with(':')) {
            why = quoted + " has something after its address that is no port";
            return std::nullopt;
        }
        port = url.empty() ? url : url.substr(1);
        if (!address.Literal() || address.host.find(':') == std::string::npos) {
            why = quoted + " has no IPv6 address in its brackets";
            return std::nullopt;
        }
    } else {
        const std::size_t colon = url.find(':');
        address.host = url.substr(0, colon);
        port = colon == std::string_view::npos ? std::string_view() : url.substr(colon + 1);
        if (colon != std::string_view::npos && port.empty()) {
            why = quoted + " has no port after its colon";
            return std::nullopt;
        }
        if (address.host.empty() || !Plain(address.host)) {
            why = quoted + " names no host (a name or an address, letters, digits, - . _)";
            return std::nullopt;
        }
    }
    if (!port.empty()) {
        const auto number = port.starts_with('0') ? std::nullopt : ParseNumber(port);
        if (!number || *number > 65535 || !std::isdigit(static_cast<unsigned char>(port[0]))) {
            why = quoted + " has no port from 1 to 65535";
            return std::nullopt;
        }
        address.port = static_cast<int>(*number);
    }
    return address;
}

bool BrokerAddress::Literal() const {
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

std::string BrokerAddress::Text() const {
    std::string text = tls ? "mqtts://" : "mqtt://";
    const bool v6 = host.find(':') != std::string::npos;
    text.append(v6 ? "[" : "").append(host).append(v6 ? "]:" : ":");
    return text.append(std::to_string(port));
}
