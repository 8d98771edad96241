#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <new>

#include "log/untrusted_text.h"
#include "mqtt/mqtt_log.h"
#include "mqtt/network_calls.h"

namespace {

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

MqttClient& Of(void* self) {
    return *static_cast<MqttClient*>(self);
}

}  // namespace

MqttClient::MqttClient(const Options& options) : mqtt311_(options.mqtt311) {
    InitOnce();
    handle_ = mosquitto_new(options.id.c_str(), true, this);
    if (handle_ == nullptr) {
        throw std::bad_alloc();
    }
    Callbacks();
    SetUp(options);
}

MqttClient::~MqttClient() {
    mosquitto_destroy(handle_);
}

void MqttClient::Callbacks() {
    mosquitto_connect_v5_callback_set(
        handle_, [](mosquitto*, void* self, int reason, int, const mosquitto_property*) {
            Of(self).answered_ = true;
            if (Of(self).events_ != nullptr) {
                Of(self).events_->Connected(reason);
            }
        });
    mosquitto_disconnect_v5_callback_set(
        handle_, [](mosquitto*, void* self, int reason, const mosquitto_property*) {
            Of(self).disconnectReason_ = reason;
        });
    mosquitto_subscribe_v5_callback_set(handle_, [](mosquitto*, void* self, int mid, int count,
                                                    const int* granted, const mosquitto_property*) {
        const bool refused = std::any_of(granted, granted + count, [](int g) { return g >= 0x80; });
        if (Of(self).events_ != nullptr) {
            Of(self).events_->Subscribed(mid, refused);
        }
    });
    mosquitto_message_v5_callback_set(
        handle_,
        [](mosquitto*, void* self, const mosquitto_message* message, const mosquitto_property*) {
            if (Of(self).events_ != nullptr) {
                Of(self).events_->Message(
                    message->topic,
                    std::string_view(static_cast<const char*>(message->payload),
                                     static_cast<std::size_t>(std::max(message->payloadlen, 0))),
                    message->retain);
            }
        });
    mosquitto_publish_v5_callback_set(
        handle_, [](mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
            Of(self).Acknowledged(mid, reason);
        });
    mosquitto_log_callback_set(handle_, [](mosquitto*, void* self, int level, const char* text) {
        if ((level & MOSQ_LOG_ERR) != 0) {
            Of(self).logged_ = text;
        }
        if (Of(self).events_ != nullptr) {
            QUORVEL_DEBUG(lcMqtt) << "libmosquitto: " << UntrustedText(text);
        }
    });
}

void MqttClient::SetUp(const Options& options) {
    mosquitto_int_option(handle_, MOSQ_OPT_PROTOCOL_VERSION,
                         mqtt311_ ? MQTT_PROTOCOL_V311 : MQTT_PROTOCOL_V5);
    if (!options.user.empty()) {
        mosquitto_username_pw_set(handle_, options.user.c_str(),
                                  options.password.empty() ? nullptr : options.password.c_str());
    }
    if (!options.will.empty()) {
        mosquitto_will_set(handle_, options.will.c_str(), 7, "offline", 1, true);
    }
    if (options.tls) {
        tls_ = std::make_unique<TlsContext>(options.caFile);
        if (!tls_->Problem().empty()) {
            logged_ = tls_->Problem();
        } else {
            // Ours alone: libmosquitto's defaults would put its own verification in place.
            mosquitto_int_option(handle_, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
            mosquitto_void_option(handle_, MOSQ_OPT_SSL_CTX, tls_->Handle());
        }
    }
    if (!mqtt311_) {
        // libmosquitto 2.0 takes CONNECT properties only from mosquitto_connect_bind_v5, which
        // connects blocking; it keeps them for every later connect of the client, and does so
        // before it looks at the port. So a port of -1 keeps them without connecting, and the
        // asynchronous connect sends them.
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                     static_cast<std::uint32_t>(LargestPacket));
        mosquitto_connect_bind_v5(handle_, "localhost", -1, KeepAliveSeconds, nullptr, properties);
        mosquitto_property_free_all(&properties);
    }
}

int MqttClient::Connect(const std::string& host, int port, int& error) {
    guard_.Reset();
    disconnectReason_ = 0;
    answered_ = false;
    if (tls_ && !tls_->Problem().empty()) {
        error = 0;
        return MOSQ_ERR_TLS;  // the certificates could not be read
    }
    if (tls_) {
        tls_->Expect(host);
    }
    errno = 0;
    const int result = mosquitto_connect_async(handle_, host.c_str(), port, KeepAliveSeconds);
    error = errno;
    // Lost before it was made (a refusal, as Wine tells it): it could not be made.
    return result == MOSQ_ERR_CONN_LOST ? MOSQ_ERR_ERRNO : result;
}

const std::string& MqttClient::Logged() const {
    // Whichever call the handshake failed in (a read, or a write of what was queued).
    return tls_ && !tls_->Refusal().empty() ? tls_->Refusal() : logged_;
}

int MqttClient::Socket() const {
    return mosquitto_socket(handle_);
}

bool MqttClient::WantsToWrite() const {
    return mosquitto_want_write(handle_);
}

int MqttClient::Failure() const {
    if (const int error = answered_ ? 0 : ConnectFailure(Socket())) {
        errno = error;
        return MOSQ_ERR_ERRNO;
    }
    return MOSQ_ERR_SUCCESS;
}

template <typename Call>
int MqttClient::Inside(Call call) {
    inside_ = true;
    const int result = call();
    inside_ = false;
    return result == MOSQ_ERR_SUCCESS && inFlight_ == 0 ? SendNext() : result;
}

int MqttClient::Read() {
    if (const int failure = Failure()) {
        return failure;
    }
    if (!tls_) {
        std::optional<PacketGuard::Oversized> oversized;
        const PacketGuard::Step step = guard_.Next(Socket(), oversized);
        if (oversized && events_ != nullptr) {
            events_->Oversized(*oversized);
        }
        if (step != PacketGuard::Step::Read) {
            return MOSQ_ERR_SUCCESS;
        }
    }
    return Inside([this] { return mosquitto_loop_read(handle_, 1); });
}

int MqttClient::Write() {
    if (const int failure = Failure()) {
        return failure;
    }
    return Inside([this] {
        const int result = mosquitto_loop_write(handle_, 1);
        // A TLS handshake goes on only in a read, whatever it waits for.
        return result == MOSQ_ERR_SUCCESS && tls_ ? mosquitto_loop_read(handle_, 1) : result;
    });
}

int MqttClient::KeepAlive() {
    return Inside([this] { return mosquitto_loop_misc(handle_); });
}

int MqttClient::Subscribe(const std::string& filter, int& mid) {
    return mosquitto_subscribe(handle_, &mid, filter.c_str(), 0);
}

int MqttClient::Publish(const std::string& topic, std::string_view payload, bool retain) {
    return mosquitto_publish(handle_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 0, retain);
}

int MqttClient::PublishRetained(const std::string& topic, std::string payload) {
    const auto same = std::find_if(waiting_.begin(), waiting_.end(), [&topic](const auto& message) {
        return message.first == topic;
    });
    if (same != waiting_.end()) {
        same->second = std::move(payload);
        return MOSQ_ERR_SUCCESS;
    }
    waiting_.emplace_back(topic, std::move(payload));
    return inFlight_ == 0 && !inside_ ? SendNext() : MOSQ_ERR_SUCCESS;
}

int MqttClient::SendNext() {
    if (waiting_.empty()) {
        return MOSQ_ERR_SUCCESS;
    }
    const auto [topic, payload] = std::move(waiting_.front());
    waiting_.pop_front();
    const int result = mosquitto_publish(handle_, &inFlight_, topic.c_str(),
                                         static_cast<int>(payload.size()), payload.data(), 1, true);
    if (result != MOSQ_ERR_SUCCESS) {
        inFlight_ = 0;
    }
    return result;
}

void MqttClient::Acknowledged(int mid, int reason) {
    if (mid != inFlight_ || inFlight_ == 0) {
        return;  // one of QoS 0, sent
    }
    inFlight_ = 0;
    if (reason >= 0x80 && events_ != nullptr) {
        QUORVEL_DEBUG(lcMqtt) << "the broker refused a retained message: "
                              << mosquitto_reason_string(reason);
    }
    // Inside libmosquitto's read: the next goes out once it has returned (Inside).
}

void MqttClient::Disconnect() {
    mosquitto_disconnect(handle_);
}
