#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A PUBLISH's start, QoS 0: its fixed header for a payload of size bytes, its topic and (MQTT
// 5) its empty properties; the payload is to follow.
std::string PublishStart(const std::string& topic, std::size_t size, bool mqtt5 = false);

// A broker of the test's own on a free loopback port, for what a real one never sends: it
// speaks just enough MQTT for one client, on a thread of its own. It accepts the login (one
// that speaks only 3.1.1 refuses MQTT 5's first, as such a broker does), acknowledges each
// subscription, and once the client has subscribed sends its packets: each a start and a
// filler of that many bytes, written a piece at a time as the client takes them, so that
// no packet, however large, is ever whole in memory here.
class StandInBroker {
  public:
    struct Packet {
        std::string start;
        std::size_t filler = 0;
    };

    StandInBroker(bool mqtt311Only, std::vector<Packet> packets);
    ~StandInBroker();
    StandInBroker(const StandInBroker&) = delete;
    StandInBroker& operator=(const StandInBroker&) = delete;

    int Port() const { return port_; }
    // The bytes of its packets sent so far, and of all of them.
    std::size_t Sent() const { return sent_; }
    std::size_t Total() const;
    // The last CONNECT the client sent, whole.
    std::string Login() const;

  private:
    void Serve();
    // One connection: false when it ended before the packets were sent.
    bool Answer(int client);
    bool Send(int client, const Packet& packet);

    bool mqtt311Only_;
    std::vector<Packet> packets_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> client_{-1};
    std::atomic<std::size_t> sent_{0};
    mutable std::mutex mutex_;
    std::string login_;
    std::thread thread_;
};
