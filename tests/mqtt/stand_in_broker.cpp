#include "tests/mqtt/stand_in_broker.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <string_view>

namespace {

constexpr unsigned char Connect = 0x10, Connack = 0x20, Publish = 0x30, Subscribe = 0x82,
                        Suback = 0x90, Pingreq = 0xc0, Pingresp = 0xd0;
constexpr unsigned char Mqtt5 = 5;
constexpr unsigned char RefusedProtocolVersion = 1;  // 3.1.1's CONNACK code

std::string Length(std::size_t remaining) {
    std::string bytes;
    do {
        const auto byte = static_cast<char>(remaining % 128);
        remaining /= 128;
        bytes += remaining > 0 ? static_cast<char>(byte | 0x80) : byte;
    } while (remaining > 0);
    return bytes;
}

bool Read(int fd, void* buffer, std::size_t size) {
    auto* at = static_cast<char*>(buffer);
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::recv(fd, at + got, size - got, 0);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool Write(int fd, std::string_view bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// The next packet from the client: its type byte and what follows its fixed header.
bool Next(int fd, unsigned char& type, std::string& body) {
    std::size_t remaining = 0;
    unsigned char byte = 0;
    if (!Read(fd, &type, 1)) {
        return false;
    }
    for (int shift = 0; Read(fd, &byte, 1); shift += 7) {
        remaining |= std::size_t{byte & 0x7fu} << shift;
        if ((byte & 0x80) == 0) {
            body.assign(remaining, '\0');
            return Read(fd, body.data(), remaining);
        }
    }
    return false;
}

}  // namespace

std::string PublishStart(const std::string& topic, std::size_t size, bool mqtt5) {
    const std::string properties = mqtt5 ? std::string(1, '\0') : "";
    return static_cast<char>(Publish) + Length(2 + topic.size() + properties.size() + size) +
           static_cast<char>(topic.size() >> 8) + static_cast<char>(topic.size() & 0xff) + topic +
           properties;
}

StandInBroker::StandInBroker(bool mqtt311Only, std::vector<Packet> packets)
    : mqtt311Only_(mqtt311Only), packets_(std::move(packets)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

StandInBroker::~StandInBroker() {
    // Ends the accept or the connection under way.
    ::shutdown(listener_, SHUT_RDWR);
    if (const int client = client_; client >= 0) {
        ::shutdown(client, SHUT_RDWR);
    }
    thread_.join();
    ::close(listener_);
}

std::size_t StandInBroker::Total() const {
    return std::accumulate(packets_.begin(), packets_.end(), std::size_t{0},
                           [](std::size_t all, const Packet& packet) {
                               return all + packet.start.size() + packet.filler;
                           });
}

std::string StandInBroker::Login() const {
    std::lock_guard lock(mutex_);
    return login_;
}

void StandInBroker::Serve() {
    for (;;) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            return;
        }
        client_ = client;
        const bool done = Answer(client);
        client_ = -1;
        ::close(client);
        if (done) {
            return;
        }
    }
}

bool StandInBroker::Answer(int client) {
    bool mqtt5 = false;
    unsigned char type = 0;
    std::string body;
    while (Next(client, type, body)) {
        if (type == Connect) {
            std::lock_guard lock(mutex_);
            login_ = body;
            mqtt5 = body.size() > 6 && body[6] == Mqtt5;
            if (mqtt5 && mqtt311Only_) {
                Write(client,
                      std::string{static_cast<char>(Connack), 2, 0, RefusedProtocolVersion});
                return false;
            }
            Write(client, mqtt5 ? std::string{static_cast<char>(Connack), 3, 0, 0, 0}
                                : std::string{static_cast<char>(Connack), 2, 0, 0});
        } else if (type == Subscribe && body.size() >= 2) {
            // One filter a SUBSCRIBE, granted at QoS 0.
            Write(client, mqtt5 ? std::string{static_cast<char>(Suback), 4, body[0], body[1], 0, 0}
                                : std::string{static_cast<char>(Suback), 3, body[0], body[1], 0});
            for (const Packet& packet : packets_) {
                if (!Send(client, packet)) {
                    return true;
                }
            }
        } else if (type == Pingreq) {
            Write(client, std::string{static_cast<char>(Pingresp), 0});
        }
    }
    return false;
}

bool StandInBroker::Send(int client, const Packet& packet) {
    static const std::string piece(65536, 'x');
    if (!Write(client, packet.start)) {
        return false;
    }
    sent_ += packet.start.size();
    for (std::size_t left = packet.filler; left > 0;) {
        const std::size_t size = std::min(left, piece.size());
        if (!Write(client, std::string_view(piece).substr(0, size))) {
            return false;
        }
        left -= size;
        sent_ += size;
    }
    return true;
}
