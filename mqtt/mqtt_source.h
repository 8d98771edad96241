#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mqtt/broker_address.h"
#include "mqtt/mqtt_payload_decoder.h"
#include "source/key_source.h"
#include "source/reopening.h"
#include "source/said_once.h"

// How the MQTT source connects and what it does there.
struct MqttSettings {
    BrokerAddress broker;
    std::string password;  // with broker.user; empty for none
    std::string caFile;    // mqtts: the certificates to verify the broker by; empty: the system's
    // The subscriptions: Tasmota's, OpenMQTTGateway's and other Quorvels' by default.
    std::vector<std::string> topics = DefaultTopics();
    std::string name;      // this machine's, in topics: quorvel/NAME/key
    bool publish = false;  // keys of the other sources are published, with a status

    static std::vector<std::string> DefaultTopics();
};

// An MQTT broker as a key source (libmosquitto, Linux): IR bridges' codes and other Quorvels'
// keys, read as MqttPayloadDecoder reads them; with publish, the keys of this Quorvel's other
// sources go out to quorvel/NAME/key, and quorvel/NAME/status is "online" (retained) while it
// runs, "offline" (its will) once it is gone. The client is driven from the loop, never from
// a thread of its own: its socket watched, for output only while it has some, and a timer
// for its keep-alive. A literal address is connected at once; a host name is looked up by a
// thread of each attempt, which hands the connection back, so no lookup ever holds up the
// loop (and TLS still verifies the name). Connected means subscribed: until the broker has
// acknowledged every subscription, the attempt has not succeeded.
// The broker away (at the start, or gone) is said once and tried again at the back-off's
// pace, at most a second apart, so its keys act again within moments of its return; a login
// refused or a TLS check failed is said with the broker's or the check's reason and tried
// again at the slow pace, doubling to a minute. A message that is no key is said once per
// topic and kind, for a bounded number of topics; the socket is read a message at a time,
// so a flood waits in the kernel and at the broker, never in the program.
class MqttSource : public KeySource {
  public:
    // The longest wait between tries while the broker is away.
    static constexpr std::chrono::seconds RetryEvery{1};
    // An attempt the broker has not answered (connected and subscribed) by then has failed.
    static constexpr std::chrono::seconds ConnectLimit{10};
    static constexpr std::chrono::seconds KeepAlive{30};
    // The topics whose ignored messages are said, at most.
    static constexpr std::size_t TopicsSaid = 64;

    explicit MqttSource(MqttSettings settings);
    ~MqttSource() override;
    MqttSource(const MqttSource&) = delete;
    MqttSource& operator=(const MqttSource&) = delete;

    // Why filter cannot be subscribed to; empty when it can.
    static std::string WhyNotATopic(const std::string& filter);
    // Why name cannot name this machine in topics (a level of its own); empty when it can.
    static std::string WhyNotAName(const std::string& name);
    // The host name, as a name in topics.
    static std::string DefaultName();
    static std::string KeyTopic(const std::string& name) { return "quorvel/" + name + "/key"; }
    static std::string StatusTopic(const std::string& name) {
        return "quorvel/" + name + "/status";
    }

    // Connects, to a literal address; a host name is looked up once the source joins the loop.
    void Open() override;
    // Why the connection failed at once, when it did.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    const LogCategory& Log() const override;
    std::string_view Kind() const override { return "mqtt"; }

    // With publish: sends event, read from a source of kind, while connected; else nothing.
    void Publish(const KeyEvent& event, std::string_view kind);

  private:
    class Client;
    struct Lookup;
    friend class Client;

    // A new client, set up but not connected.
    std::unique_ptr<Client> NewClient();
    // Starts connecting client (mosquitto_connect_async); its result.
    int Connect(Client& client);
    // A try to connect again.
    void Attempt();
    // The look-up's thread is done.
    void LookedUp();
    // The connection was started: subscribes and watches it, or fails.
    void Started(std::unique_ptr<Client> client, int result, int error);
    void Watch();
    void Readable();
    void Writable();
    void Housekeeping();
    // What the library's call returned: the connection goes on, or is dropped.
    void Check(int result);
    void UpdateOutput();
    // Every subscription acknowledged: connected.
    void Confirm();
    // The connection is over: why, and whether the broker refused it.
    void Dropped(const std::string& why, bool refused);
    // An attempt failed, or the connection was lost.
    void Failed(SourceCondition condition, bool refused);
    std::string Failure(int result, int error, const Client& client) const;
    void Message(std::string_view topic, std::string_view payload, bool retained);
    void SayIgnored(const std::string& topic, MqttPayloadDecoder::Decoded decoded);

    MqttSettings settings_;
    MqttPayloadDecoder decoder_;
    EventLoop* loop_ = nullptr;
    SourceOutput* out_ = nullptr;
    std::unique_ptr<Client> client_;
    std::shared_ptr<Lookup> lookup_;
    std::unique_ptr<EventLoop::Watch> lookupWatch_;
    std::unique_ptr<EventLoop::Watch> input_;
    std::unique_ptr<EventLoop::Watch> output_;
    std::unique_ptr<EventLoop::Timer> housekeeping_;
    std::unique_ptr<EventLoop::Timer> limit_;
    Reopening reopening_;
    SaidOnce said_;
    // The start's immediate failure, when there was one.
    std::optional<SourceCondition> openFailure_;
    std::set<int> subscribing_;  // subscriptions not yet acknowledged
    bool accepted_ = false;      // the broker accepted the login
    bool confirmed_ = false;     // connected and subscribed
    bool outage_ = false;        // an outage was shown: Back is due at the return
    // What was ignored and said, by topic: bounded by TopicsSaid.
    std::map<std::string, std::set<MqttPayloadDecoder::Ignored>> saidIgnored_;
};
