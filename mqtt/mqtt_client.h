#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "mqtt/packet_guard.h"
#include "mqtt/tls_context.h"

struct mosquitto;

// One connection's libmosquitto client, driven from outside: never a thread of its own.
// MQTT 5 unless told 3.1.1; with MQTT 5 the broker is asked to send no packet over
// LargestPacket (Maximum Packet Size on the CONNECT), and an unencrypted connection is read
// through a PacketGuard whatever the broker does. TLS goes through a TlsContext of its own,
// so a certificate refused says why. What it publishes is of QoS 0, but for retained
// messages of QoS 1, which go one at a time: libmosquitto reads as many packets a call as
// messages of QoS 1 or 2 are in flight, and the guard holds only while that is at most one.
// What happens on it goes to its Events, inside its calls; none are told while it has no
// Events (a thread connecting it meanwhile), and it then logs nothing but keeps the
// library's last error. Used on one thread at a time.
class MqttClient {
  public:
    // The largest packet taken in: a message of 4 KiB with a topic of nearly as much.
    static constexpr std::size_t LargestPacket = 8192;
    static constexpr int KeepAliveSeconds = 30;

    class Events {
      public:
        virtual ~Events() = default;
        // The broker answered the login: 0 accepted, else its reason code.
        virtual void Connected(int reason) = 0;
        virtual void Subscribed(int mid, bool refused) = 0;
        virtual void Message(std::string_view topic, std::string_view payload, bool retained) = 0;
        // A packet over LargestPacket was thrown away.
        virtual void Oversized(const PacketGuard::Oversized& oversized) = 0;
    };

    struct Options {
        std::string id;
        std::string user;      // empty: no login
        std::string password;  // with user
        std::string will;      // the topic whose retained "offline" is the will; empty: none
        bool tls = false;
        std::string caFile;  // with tls; empty: the system's certificates
        bool mqtt311 = false;
    };

    // Throws std::bad_alloc when libmosquitto cannot make a client.
    explicit MqttClient(const Options& options);
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    void Tell(Events* events) { events_ = events; }
    // Starts connecting to host (mosquitto_connect_async; a name is looked up meanwhile,
    // blocking): libmosquitto's result, with errno in error.
    int Connect(const std::string& host, int port, int& error);
    int Socket() const;
    bool WantsToWrite() const;
    // What one turn reads: a packet at most, or a piece of one thrown away (or why the
    // connection under way failed, as Write says too).
    int Read();
    int Write();
    // The keep-alive: a PINGREQ when due, or the end of a broker that never answered one.
    int KeepAlive();
    int Subscribe(const std::string& filter, int& mid);
    int Publish(const std::string& topic, std::string_view payload, bool retain);
    // topic's message, retained at QoS 1: sent once the broker has acknowledged the one
    // before it, in order; a newer one for a topic still waiting takes its place.
    int PublishRetained(const std::string& topic, std::string payload);
    // The retained messages not yet acknowledged, the one in flight among them.
    std::size_t Unacknowledged() const { return waiting_.size() + (inFlight_ != 0 ? 1 : 0); }
    void Disconnect();

    // Why the broker's certificate was refused, or else the library's last error, or the
    // setup's; the broker's reason for ending the connection (MQTT 5), or 0.
    const std::string& Logged() const;
    int DisconnectReason() const { return disconnectReason_; }
    bool Mqtt311() const { return mqtt311_; }

  private:
    // Until the broker answers, why the connection failed, where only the socket says it
    // (ConnectFailure): MOSQ_ERR_ERRNO with errno set; else MOSQ_ERR_SUCCESS.
    int Failure() const;
    void Callbacks();
    void SetUp(const Options& options);
    // The broker acknowledged message mid (QoS 1), or libmosquitto sent one of QoS 0.
    void Acknowledged(int mid, int reason);
    // call, a call of libmosquitto's that may tell Events (a read, a write, the keep-alive);
    // then the next retained message, when none is in flight. Never from inside a callback
    // of libmosquitto's, which holds its locks in another order than a publish takes them.
    template <typename Call>
    int Inside(Call call);
    int SendNext();

    mosquitto* handle_ = nullptr;
    Events* events_ = nullptr;
    PacketGuard guard_{LargestPacket};
    std::unique_ptr<TlsContext> tls_;
    bool mqtt311_ = false;
    std::string logged_;
    int disconnectReason_ = 0;
    bool answered_ = false;                                    // the broker answered the login
    std::deque<std::pair<std::string, std::string>> waiting_;  // retained: topic, payload
    int inFlight_ = 0;     // the retained message awaiting its PUBACK; 0 for none
    bool inside_ = false;  // within a call of libmosquitto's that may tell Events
};
