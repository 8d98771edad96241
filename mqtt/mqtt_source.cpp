#include "mqtt/mqtt_source.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <utility>

#include "log/untrusted_text.h"
#include "mqtt/connection_failure.h"
#include "mqtt/key_message.h"
#include "mqtt/mqtt_log.h"

namespace {

constexpr std::string_view Online = "online";
constexpr std::string_view Offline = "offline";

}  // namespace

MqttSource::MqttSource(MqttSettings settings)
    : settings_(std::move(settings)),
      decoder_(MqttSettings::KeyTopic(settings_.name)),
      reopening_(std::chrono::minutes(1), [this] { Attempt(); }),
      health_(lcMqtt) {
    if (settings_.clientId.empty()) {
        settings_.clientId = MqttSettings::MakeClientId();
    }
}

MqttSource::~MqttSource() {
    connecting_.reset();
    if (client_ && accepted_) {
        if (settings_.publish && !clash_) {
            // Gone on purpose: the status says so, and no will is sent.
            client_->Publish(MqttSettings::StatusTopic(settings_.name), Offline, true);
        }
        client_->Disconnect();
    }
    input_.reset();
    output_.reset();
}

const LogCategory& MqttSource::Log() const {
    return lcMqtt;
}

std::unique_ptr<MqttClient> MqttSource::NewClient() {
    MqttClient::Options options{
        settings_.clientId,
        settings_.broker.user,
        settings_.password,
        settings_.publish && !clash_ ? MqttSettings::StatusTopic(settings_.name) : "",
        settings_.broker.tls,
        settings_.caFile,
        mqtt311_};
    auto client = std::make_unique<MqttClient>(options);
    client->Tell(this);
    return client;
}

void MqttSource::Open() {
    if (settings_.broker.Literal()) {
        auto client = NewClient();
        int error = 0;
        const int result = client->Connect(settings_.broker.host, settings_.broker.port, error);
        if (result == MOSQ_ERR_SUCCESS) {
            client_ = std::move(client);
            return;
        }
        startFailure_ = SourceCondition{result == MOSQ_ERR_TLS ? SourceCondition::Kind::CannotOpen
                                                               : SourceCondition::Kind::Absent,
                                        Failure(result, error, client.get())};
    }
}

std::vector<SourceCondition> MqttSource::Configure() {
    if (startFailure_) {
        return StartFailed();
    }
    // The first attempt goes on on the loop: Settle says how far it came.
    startEnds_ = EventLoop::Clock::now() + StartWait;
    starting_ = true;
    return {};
}

std::optional<EventLoop::TimePoint> MqttSource::SettlingUntil() const {
    return starting_ && health_.Now() != SourceHealth::State::Up && !startFailure_
               ? std::optional(startEnds_)
               : std::nullopt;
}

std::vector<SourceCondition> MqttSource::Settle() {
    return std::exchange(starting_, false) && startFailure_ ? StartFailed()
                                                            : std::vector<SourceCondition>();
}

std::vector<SourceCondition> MqttSource::StartFailed() {
    return {health_.NotStarted(*startFailure_, "; trying again")};
}

void MqttSource::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    health_.Attach(out);
    reopening_.Attach(loop);
    keepAlive_ = loop.MakeTimer([this] { KeepAlive(); });
    limit_ = loop.MakeTimer([this] {
        Dropped("the MQTT broker at " + settings_.broker.Text() + " did not answer within " +
                    std::to_string(ConnectLimit.count()) + " s",
                false);
    });
    if (client_) {
        Started(std::move(client_), MOSQ_ERR_SUCCESS, 0);  // Open's connection
    } else if (!startFailure_) {
        Attempt();
    } else {
        reopening_.Failed(startFailure_->kind == SourceCondition::Kind::CannotOpen
                              ? std::chrono::milliseconds::max()
                              : std::chrono::milliseconds(RetryEvery));
    }
}

void MqttSource::Attempt() {
    auto client = NewClient();
    if (settings_.broker.Literal() || !client->Logged().empty()) {
        int error = 0;
        const int result = client->Connect(settings_.broker.host, settings_.broker.port, error);
        Started(std::move(client), result, error);
        return;
    }
    connecting_ = std::make_unique<BackgroundConnect>(std::move(client), settings_.broker.host,
                                                      settings_.broker.port);
    connecting_->Watch(*loop_,
                       [this](std::unique_ptr<MqttClient> connected, int result, int error) {
                           connecting_.reset();
                           Started(std::move(connected), result, error);
                       });
}

void MqttSource::Started(std::unique_ptr<MqttClient> client, int result, int error) {
    client_ = std::move(client);
    client_->Tell(this);
    if (result != MOSQ_ERR_SUCCESS) {
        const bool refused = result == MOSQ_ERR_TLS;
        const std::string why = Failure(result, error, client_.get());
        client_.reset();
        Failed({refused ? SourceCondition::Kind::CannotOpen : SourceCondition::Kind::Absent, why},
               refused);
        return;
    }
    accepted_ = false;
    refusal_.clear();
    subscribing_.clear();
    std::vector<std::string> filters = settings_.topics;
    if (settings_.publish) {
        filters.push_back(MqttSettings::StatusTopic(settings_.name));  // whether the name is taken
    }
    for (const auto& [topic, heard] : followed_) {
        filters.push_back(topic);
    }
    // Subscribed before the broker has answered the login: the subscriptions are in place
    // as soon as it is accepted.
    for (const std::string& filter : filters) {
        int mid = 0;
        if (client_->Subscribe(filter, mid) == MOSQ_ERR_SUCCESS) {
            subscribing_.insert(mid);
        }
    }
    attemptEnds_ = EventLoop::Clock::now() + ConnectLimit;
    Watch();
}

void MqttSource::Watch() {
    input_ = loop_->WatchSocket(client_->Socket(), [this] { Readable(); });
    output_.reset();
    if (health_.Now() != SourceHealth::State::Up) {
        limit_->Set(attemptEnds_);
    }
    KeepAliveFromNow();
    UpdateOutput();
}

void MqttSource::KeepAliveFromNow() {
    if (client_) {
        keepAlive_->Set(EventLoop::Clock::now() +
                        std::chrono::seconds(MqttClient::KeepAliveSeconds));
    }
}

void MqttSource::Readable() {
    Check(client_->Read());
    // Never inside the read: the client must outlive its own call.
    if (std::exchange(restartDue_, false)) {
        Restart();
    }
}

void MqttSource::Writable() {
    Check(client_->Write());
    KeepAliveFromNow();  // libmosquitto pings when nothing went out for the keep-alive
}

void MqttSource::KeepAlive() {
    Check(client_->KeepAlive());
    KeepAliveFromNow();
    if (confirmed_ && std::exchange(takenOver_, false)) {
        reopening_.Succeeded();  // no longer taken over each time
    }
}

void MqttSource::Check(int result) {
    if (!client_) {
        return;
    }
    if (result == MOSQ_ERR_SUCCESS && client_->Socket() >= 0) {
        UpdateOutput();
        return;
    }
    const int error = errno;
    const int reason = client_->DisconnectReason();
    if (reason == MQTT_RC_SESSION_TAKEN_OVER) {
        takenOver_ = true;
        Dropped("another client took the connection to the MQTT broker at " +
                    settings_.broker.Text() + " over: it uses the same client id " +
                    settings_.clientId,
                true);
        return;
    }
    const bool refused = !refusal_.empty() || result == MOSQ_ERR_TLS;
    Dropped(Failure(result == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : result, error, client_.get()),
            refused);
}

void MqttSource::UpdateOutput() {
    if (!client_->WantsToWrite()) {
        output_.reset();
    } else if (!output_) {
        output_ = loop_->WatchWritable(client_->Socket(), [this] { Writable(); });
    }
}

void MqttSource::Connected(int reason) {
    if (reason == MQTT_RC_SUCCESS) {
        accepted_ = true;
    } else if (!mqtt311_ && (reason == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION ||
                             reason == CONNACK_REFUSED_PROTOCOL_VERSION)) {
        QUORVEL_DEBUG(lcMqtt) << "the broker at " << settings_.broker.Text()
                              << " speaks no MQTT 5: connecting with MQTT 3.1.1";
        mqtt311_ = true;  // the connection ends: the next one is made at once
    } else {
        refusal_ =
            client_->Mqtt311() ? mosquitto_connack_string(reason) : mosquitto_reason_string(reason);
    }
}

void MqttSource::Subscribed(int mid, bool refused) {
    if (refused) {
        QUORVEL_WARNING(lcMqtt) << "the broker refused a subscription";
    }
    if (subscribing_.erase(mid) > 0 && subscribing_.empty()) {
        Confirm();
    }
}

void MqttSource::Confirm() {
    confirmed_ = true;
    limit_->Cancel();
    attemptEnds_ = {};
    if (!takenOver_) {
        reopening_.Succeeded();  // else once it has held a while (KeepAlive)
    }
    if (settings_.publish) {
        ++ownOnline_;
        client_->Publish(MqttSettings::StatusTopic(settings_.name), Online, true);
    }
    const std::string back = "connected to the MQTT broker at " + settings_.broker.Text();
    if (!health_.Up(back)) {
        QUORVEL_DEBUG(lcMqtt) << back;
    }
    connected_();
}

void MqttSource::Unwatch() {
    confirmed_ = false;
    restartDue_ = false;
    input_.reset();
    output_.reset();
    keepAlive_->Cancel();
    limit_->Cancel();
    attemptEnds_ = {};
}

void MqttSource::Dropped(const std::string& why, bool refused) {
    Unwatch();  // out of the loop before the socket closes
    const bool again = client_ && client_->Mqtt311() != mqtt311_;  // MQTT 5 was refused
    client_.reset();
    accepted_ = false;
    if (again) {
        Attempt();
        return;
    }
    Failed({refused ? SourceCondition::Kind::CannotOpen : SourceCondition::Kind::Absent, why},
           refused);
}

void MqttSource::Restart() {
    Unwatch();
    if (client_) {
        client_->Disconnect();
        client_.reset();
    }
    accepted_ = false;
    Attempt();
}

void MqttSource::Failed(SourceCondition condition, bool refused) {
    if (starting_) {
        startFailure_ = startFailure_.value_or(std::move(condition));  // said by Settle
    } else if (health_.Now() == SourceHealth::State::Up) {
        QUORVEL_WARNING(lcMqtt) << condition.reason << "; connecting again when it is back";
        health_.Lost(SourceCondition{SourceCondition::Kind::Lost, condition.reason});
    } else {
        // Not up: no read was lost. One never up since the start says so as the start would.
        health_.TryFailed(std::move(condition), refused ? LogLevel::Warning : LogLevel::Info,
                          refused ? "; trying again now and then" : "; waiting for it");
    }
    reopening_.Failed(refused ? std::chrono::milliseconds::max()
                              : std::chrono::milliseconds(RetryEvery));
}

std::string MqttSource::Failure(int result, int error, const MqttClient* client) const {
    return ConnectionFailure{settings_.broker.Text(),
                             result,
                             error,
                             client != nullptr ? client->Logged() : std::string(),
                             refusal_,
                             health_.WasUp()}
        .Text();
}

void MqttSource::Message(std::string_view topic, std::string_view payload, bool retained) {
    if (settings_.publish && topic == MqttSettings::StatusTopic(settings_.name)) {
        Status(payload, retained);
        return;
    }
    if (const auto followed = followed_.find(std::string(topic)); followed != followed_.end()) {
        followed->second(payload, retained);
        return;
    }
    MqttPayloadDecoder::Decoded decoded =
        decoder_.Decode(topic, payload, retained, EventLoop::Clock::now());
    if (decoded.event) {
        health_.Put(std::move(*decoded.event));
    } else {
        ignored_.Say(std::string(topic), decoded);
    }
}

void MqttSource::Oversized(const PacketGuard::Oversized& oversized) {
    ignored_.Say(oversized.topic.empty() ? "an unknown topic" : oversized.topic,
                 {std::nullopt, MqttPayloadDecoder::Ignored::TooLarge,
                  std::to_string(oversized.size) + " bytes, dropped unread"});
}

void MqttSource::Status(std::string_view payload, bool retained) {
    // Retained: as it stood before this connection. Else live: ours come back, as many as
    // were sent; one more "online" is another's, started since.
    const bool ours = !retained && payload == Online && ownOnline_ > 0;
    ownOnline_ -= ours ? 1 : 0;
    if (clash_ || ours || payload != Online) {
        return;
    }
    clash_ = true;
    QUORVEL_WARNING(lcMqtt) << "another Quorvel named " << UntrustedText(settings_.name)
                            << " is online on the MQTT broker at " << settings_.broker.Text()
                            << " (or one stopped without a word less than a minute ago): "
                               "their keys are not told apart; give each its own --mqtt-name. "
                               "This one never marks the name offline";
    restartDue_ = true;  // without the will, once the library's read has returned
}

void MqttSource::Publish(const KeyEvent& event, std::string_view kind) {
    if (settings_.publish) {
        Send(MqttSettings::KeyTopic(settings_.name),
             KeyMessage::Encode(event, kind, settings_.clientId, ++sequence_));
    }
}

void MqttSource::Send(const std::string& topic, std::string_view payload) {
    // Before the broker answered the login it goes out after it, as the subscriptions do.
    if (!settings_.publish || !client_) {
        return;
    }
    const int result = client_->Publish(topic, payload, false);
    if (result != MOSQ_ERR_SUCCESS) {
        QUORVEL_DEBUG(lcMqtt) << "a message was not published: " << mosquitto_strerror(result);
    }
    Check(result == MOSQ_ERR_NO_CONN ? MOSQ_ERR_SUCCESS : result);
}

void MqttSource::SendRetained(const std::string& topic, std::string payload) {
    if (settings_.publish && client_ && confirmed_) {
        Check(client_->PublishRetained(topic, std::move(payload)));
    }
}
