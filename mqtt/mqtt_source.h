#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/background_connect.h"
#include "mqtt/broker_address.h"
#include "mqtt/ignored_messages.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/mqtt_payload_decoder.h"
#include "mqtt/mqtt_settings.h"
#include "source/key_source.h"
#include "source/reopening.h"
#include "source/source_health.h"

// An MQTT broker as a key source (libmosquitto through MqttClient): IR bridges' codes
// and other Quorvels' keys, read as MqttPayloadDecoder reads them; with publish, the keys of
// this Quorvel's other sources go out to quorvel/NAME/key, and quorvel/NAME/status is
// "online" (retained) while it runs, "offline" (its will) once it is gone. The client is
// driven from the loop: its socket watched, for output only while it has some, and a timer
// at the keep-alive's deadline. A literal address is connected at once; a host name through
// a BackgroundConnect, so no lookup ever holds up the loop (and TLS still verifies the name).
// Connected means subscribed: until the broker has acknowledged every subscription, the
// attempt has not succeeded. The first attempt goes on once the source has joined the loop,
// settling up to StartWait (ReceiverLoop::Settle, which stops waiting at another source's
// key): a broker that cannot be reached or refuses by then is said by Settle, as a port that
// is not there is by Configure. A broker away (at the start, or gone) is tried again at the
// back-off's pace, at most a second apart; a login refused, a TLS check failed, or the
// session taken by another client of the same id, at the slow pace, doubling to a minute:
// after a takeover the pace is kept while each new connection is taken over again, until one
// has held for a keep-alive. Only a broker lost once connected is a Lost condition: one never
// reached after the start's wait says why once, as the start's failures are said
// (SourceHealth), and in the log. A message that is no key is said once per topic and kind,
// for a bounded number of topics.
// With publish, a status already online when it connects, or another's "online" later, is
// another Quorvel of the same name: said once, and from then on this one never marks the
// name offline (it connects again without a will, and stops without a word).
class MqttSource : public KeySource, private MqttClient::Events {
  public:
    // The longest wait between tries while the broker is away.
    static constexpr std::chrono::seconds RetryEvery{1};
    // An attempt the broker has not answered (connected and subscribed) by then has failed.
    static constexpr std::chrono::seconds ConnectLimit{10};
    // How long the start waits for the first attempt's outcome.
    static constexpr std::chrono::seconds StartWait{3};

    explicit MqttSource(MqttSettings settings);
    ~MqttSource() override;
    MqttSource(const MqttSource&) = delete;
    MqttSource& operator=(const MqttSource&) = delete;

    // Starts the first attempt to a literal address; one to a name is started by Attach.
    void Open() override;
    // Why the first attempt could not even start (a literal address); else nothing yet.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    // Until StartWait after Configure, while the first attempt has neither succeeded nor
    // failed.
    std::optional<EventLoop::TimePoint> SettlingUntil() const override;
    // Why the first attempt failed, when it did by now.
    std::vector<SourceCondition> Settle() override;
    const LogCategory& Log() const override;
    std::string_view Kind() const override { return "mqtt"; }

    // With publish: sends event, read from a source of kind, while connected; else nothing.
    void Publish(const KeyEvent& event, std::string_view kind) override;

    // What rides on the connection besides keys (Home Assistant's discovery), told on the
    // loop. Before Open: connected is told each time the source is connected (subscribed),
    // heard each message on topic (a subscription of its own, no key).
    using Heard = std::function<void(std::string_view payload, bool retained)>;
    void OnConnected(std::function<void()> connected) { connected_ = std::move(connected); }
    void Follow(std::string topic, Heard heard) { followed_[std::move(topic)] = std::move(heard); }
    bool IsConnected() const { return confirmed_; }
    // This machine's name in topics: quorvel/NAME/...
    const std::string& Name() const { return settings_.name; }
    // With publish, while connected: payload to topic at QoS 0, or retained at QoS 1
    // (MqttClient::PublishRetained: in order, one at a time); else nothing.
    void Send(const std::string& topic, std::string_view payload);
    void SendRetained(const std::string& topic, std::string payload);

  private:
    // MqttClient::Events
    void Connected(int reason) override;
    void Subscribed(int mid, bool refused) override;
    void Message(std::string_view topic, std::string_view payload, bool retained) override;
    void Oversized(const PacketGuard::Oversized& oversized) override;

    // The start's failure, said once: the condition Configure or Settle gives.
    std::vector<SourceCondition> StartFailed();
    std::unique_ptr<MqttClient> NewClient();
    void Attempt();
    // The connection was started: subscribes and watches it, or fails.
    void Started(std::unique_ptr<MqttClient> client, int result, int error);
    void Watch();
    void Readable();
    void Writable();
    void KeepAlive();
    // The keep-alive is due KeepAliveSeconds from now, while there is a connection.
    void KeepAliveFromNow();
    // What the library's call returned: the connection goes on, or is dropped.
    void Check(int result);
    void UpdateOutput();
    // Every subscription acknowledged: connected.
    void Confirm();
    // The connection is over: why, and whether the broker refused it.
    void Dropped(const std::string& why, bool refused);
    // The connection is ended here, to be made again at once: nothing is said.
    void Restart();
    // Out of the loop: the watches and the attempt's timers.
    void Unwatch();
    // An attempt failed, or the connection was lost.
    void Failed(SourceCondition condition, bool refused);
    std::string Failure(int result, int error, const MqttClient* client) const;
    void Status(std::string_view payload, bool retained);

    MqttSettings settings_;
    MqttPayloadDecoder decoder_;
    EventLoop* loop_ = nullptr;
    std::unique_ptr<MqttClient> client_;
    std::unique_ptr<BackgroundConnect> connecting_;
    std::unique_ptr<EventLoop::Watch> input_;
    std::unique_ptr<EventLoop::Watch> output_;
    std::unique_ptr<EventLoop::Timer> keepAlive_;
    std::unique_ptr<EventLoop::Timer> limit_;
    EventLoop::TimePoint attemptEnds_{};
    Reopening reopening_;
    // Up while connected and subscribed.
    SourceHealth health_;
    std::optional<SourceCondition> startFailure_;  // the first attempt's, awaited at the start
    bool starting_ = false;                        // the start awaits the first attempt
    EventLoop::TimePoint startEnds_{};             // until when it does
    std::set<int> subscribing_;                    // subscriptions not yet acknowledged
    std::string refusal_;                          // the broker's reason for refusing the login
    bool mqtt311_ = false;                         // the broker refused MQTT 5
    bool accepted_ = false;                        // the broker accepted the login
    bool confirmed_ = false;      // this connection's subscriptions were acknowledged
    bool clash_ = false;          // another Quorvel of the same name is online
    bool restartDue_ = false;     // the clash's restart, due once the read returns
    bool takenOver_ = false;      // taken over by a client of the same id, and not held since
    int ownOnline_ = 0;           // our own "online"s still to come back from the broker
    std::uint64_t sequence_ = 0;  // the last key event published
    IgnoredMessages ignored_;
    std::function<void()> connected_ = [] {};
    std::map<std::string, Heard> followed_;  // by topic
};
