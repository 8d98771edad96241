#include "mqtt/mqtt_source.h"

#include <mosquitto.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include "log/untrusted_text.h"
#include "mqtt/mqtt_log.h"

namespace {

// The keep-alive is the library's to keep: it is given the loop this often.
constexpr std::chrono::seconds HousekeepingEvery{10};

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

std::vector<std::string> MqttSettings::DefaultTopics() {
    return {"tele/+/RESULT", "tele/+/IRRECEIVED", "home/+/IRtoMQTT", "quorvel/+/key"};
}

// One connection's client. Its callbacks run on the loop, inside the library's calls; but
// for its log, which may also run on the thread that connects it, and writes only logged.
class MqttSource::Client {
  public:
    Client(MqttSource& source, const std::string& id) : source(source) {
        handle = mosquitto_new(id.c_str(), true, this);
        if (handle == nullptr) {
            throw std::bad_alloc();
        }
        mosquitto_connect_callback_set(handle, [](mosquitto*, void* self, int result) {
            auto& client = *static_cast<Client*>(self);
            if (result != 0) {
                client.refusal = mosquitto_connack_string(result);
            } else {
                client.source.accepted_ = true;
            }
        });
        mosquitto_subscribe_callback_set(handle, [](mosquitto*, void* self, int mid, int count,
                                                    const int* granted) {
            auto& client = *static_cast<Client*>(self);
            for (int i = 0; i < count; ++i) {
                if (granted[i] >= 0x80) {
                    QUORVEL_WARNING(lcMqtt) << "the broker refused a subscription";
                }
            }
            if (client.source.subscribing_.erase(mid) > 0 && client.source.subscribing_.empty()) {
                client.source.Confirm();
            }
        });
        mosquitto_message_callback_set(
            handle, [](mosquitto*, void* self, const mosquitto_message* message) {
                auto& client = *static_cast<Client*>(self);
                client.source.Message(
                    message->topic,
                    std::string_view(static_cast<const char*>(message->payload),
                                     static_cast<std::size_t>(std::max(message->payloadlen, 0))),
                    message->retain);
            });
        mosquitto_log_callback_set(handle, [](mosquitto*, void* self, int level, const char* text) {
            if ((level & MOSQ_LOG_ERR) != 0) {
                static_cast<Client*>(self)->logged = text;
            }
            QUORVEL_DEBUG(lcMqtt) << "libmosquitto: " << UntrustedText(text);
        });
    }
    ~Client() { mosquitto_destroy(handle); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    MqttSource& source;
    mosquitto* handle = nullptr;
    std::string refusal;  // the broker's reason for refusing the login
    std::string logged;   // the library's last error
};

// Shared with the thread that looks a host name up and starts the connection: it owns the
// client meanwhile, and destroys it itself when the source went first.
struct MqttSource::Lookup {
    Lookup() : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Lookup() { ::close(wake); }
    std::mutex mutex;
    std::unique_ptr<Client> client;
    bool abandoned = false;
    int result = MOSQ_ERR_SUCCESS;
    int error = 0;
    int wake;
};

MqttSource::MqttSource(MqttSettings settings)
    : settings_(std::move(settings)),
      decoder_(KeyTopic(settings_.name)),
      reopening_(std::chrono::minutes(1), [this] { Attempt(); }) {
    InitOnce();
}

MqttSource::~MqttSource() {
    lookupWatch_.reset();
    if (lookup_) {
        std::lock_guard lock(lookup_->mutex);
        lookup_->abandoned = true;
    }
    if (client_ && accepted_ && settings_.publish) {
        // Gone on purpose: the status says so, and no will is sent.
        const std::string topic = StatusTopic(settings_.name);
        mosquitto_publish(client_->handle, nullptr, topic.c_str(), 7, "offline", 0, true);
        mosquitto_disconnect(client_->handle);
    }
    input_.reset();
    output_.reset();
}

const LogCategory& MqttSource::Log() const {
    return lcMqtt;
}

std::string MqttSource::WhyNotATopic(const std::string& filter) {
    if (mosquitto_sub_topic_check(filter.c_str()) != MOSQ_ERR_SUCCESS ||
        mosquitto_validate_utf8(filter.c_str(), static_cast<int>(filter.size())) !=
            MOSQ_ERR_SUCCESS ||
        filter.empty()) {
        return "'" + UntrustedText(filter) +
               "' is no topic filter (levels between /, + for any one level, # for the rest)";
    }
    return {};
}

std::string MqttSource::WhyNotAName(const std::string& name) {
    if (name.empty() || name.size() > 100 || name.find_first_of("/+#") != std::string::npos ||
        mosquitto_validate_utf8(name.c_str(), static_cast<int>(name.size())) != MOSQ_ERR_SUCCESS) {
        return "'" + UntrustedText(name) +
               "' cannot name this machine in topics (no /, + or #, at most 100 bytes)";
    }
    return {};
}

std::string MqttSource::DefaultName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || !WhyNotAName(host).empty()) {
        return "quorvel";
    }
    return host;
}

std::unique_ptr<MqttSource::Client> MqttSource::NewClient() {
    auto client = std::make_unique<Client>(
        *this, "quorvel-" + settings_.name + "-" + std::to_string(::getpid()));
    mosquitto* handle = client->handle;
    mosquitto_int_option(handle, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!settings_.broker.user.empty()) {
        mosquitto_username_pw_set(
            handle, settings_.broker.user.c_str(),
            settings_.password.empty() ? nullptr : settings_.password.c_str());
    }
    if (settings_.publish) {
        const std::string status = StatusTopic(settings_.name);
        mosquitto_will_set(handle, status.c_str(), 7, "offline", 1, true);
    }
    if (settings_.broker.tls) {
        // The broker's certificate is verified, and its name against the host's.
        if (settings_.caFile.empty()) {
            mosquitto_int_option(handle, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else if (mosquitto_tls_set(handle, settings_.caFile.c_str(), nullptr, nullptr, nullptr,
                                     nullptr) != MOSQ_ERR_SUCCESS) {
            client->logged = "cannot read the certificates in " + UntrustedText(settings_.caFile);
        }
    }
    return client;
}

int MqttSource::Connect(Client& client) {
    if (!client.logged.empty()) {
        return MOSQ_ERR_TLS;
    }
    return mosquitto_connect_async(client.handle, settings_.broker.host.c_str(),
                                   settings_.broker.port, static_cast<int>(KeepAlive.count()));
}

void MqttSource::Open() {
    if (!settings_.broker.Literal()) {
        return;  // looked up once on the loop
    }
    auto client = NewClient();
    const int result = Connect(*client);
    const int error = errno;
    if (result == MOSQ_ERR_SUCCESS) {
        client_ = std::move(client);
        return;
    }
    const bool refused = result == MOSQ_ERR_TLS;
    openFailure_ =
        SourceCondition{refused ? SourceCondition::Kind::CannotOpen : SourceCondition::Kind::Absent,
                        Failure(result, error, *client)};
}

std::vector<SourceCondition> MqttSource::Configure() {
    if (!openFailure_) {
        return {};
    }
    said_.News(openFailure_->reason);
    QUORVEL_WARNING(lcMqtt) << openFailure_->reason << "; trying again";
    outage_ = true;
    return {*openFailure_};
}

void MqttSource::Attach(EventLoop& loop, SourceOutput& out) {
    loop_ = &loop;
    out_ = &out;
    reopening_.Attach(loop);
    housekeeping_ = loop.MakeTimer([this] { Housekeeping(); });
    limit_ = loop.MakeTimer([this] {
        Dropped("the MQTT broker at " + settings_.broker.Text() + " did not answer within " +
                    std::to_string(ConnectLimit.count()) + " s",
                false);
    });
    if (client_) {
        Started(std::move(client_), MOSQ_ERR_SUCCESS, 0);
    } else if (openFailure_) {
        reopening_.Failed(openFailure_->kind == SourceCondition::Kind::CannotOpen
                              ? std::chrono::milliseconds::max()
                              : std::chrono::milliseconds(RetryEvery));
    } else {
        Attempt();
    }
}

void MqttSource::Attempt() {
    if (settings_.broker.Literal()) {
        auto client = NewClient();
        const int result = Connect(*client);
        Started(std::move(client), result, errno);
        return;
    }
    auto client = NewClient();
    if (!client->logged.empty()) {
        Started(std::move(client), MOSQ_ERR_TLS, 0);
        return;
    }
    lookup_ = std::make_shared<Lookup>();
    lookup_->client = std::move(client);
    lookupWatch_ = loop_->WatchHandle(lookup_->wake, [this] { LookedUp(); });
    std::thread([lookup = lookup_, host = settings_.broker.host, port = settings_.broker.port] {
        std::unique_lock lock(lookup->mutex);
        mosquitto* handle = lookup->client->handle;
        lock.unlock();
        // Only this thread touches the client until it hands it back.
        const int result = mosquitto_connect_async(handle, host.c_str(), port,
                                                   static_cast<int>(KeepAlive.count()));
        const int error = errno;
        lock.lock();
        if (lookup->abandoned) {
            lookup->client.reset();
            return;
        }
        lookup->result = result;
        lookup->error = error;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(lookup->wake, &one, sizeof one);
    }).detach();
}

void MqttSource::LookedUp() {
    std::unique_ptr<Client> client;
    int result = MOSQ_ERR_SUCCESS;
    int error = 0;
    {
        std::lock_guard lock(lookup_->mutex);
        client = std::move(lookup_->client);
        result = lookup_->result;
        error = lookup_->error;
    }
    lookupWatch_.reset();
    lookup_.reset();
    Started(std::move(client), result, error);
}

void MqttSource::Started(std::unique_ptr<Client> client, int result, int error) {
    if (result != MOSQ_ERR_SUCCESS) {
        const bool refused = result == MOSQ_ERR_TLS;
        Failed({refused ? SourceCondition::Kind::CannotOpen : SourceCondition::Kind::Absent,
                Failure(result, error, *client)},
               refused);
        return;
    }
    client_ = std::move(client);
    accepted_ = false;
    subscribing_.clear();
    // Subscribed before the broker has answered the login: the subscriptions are in place
    // as soon as it is accepted.
    for (const std::string& topic : settings_.topics) {
        int mid = 0;
        if (mosquitto_subscribe(client_->handle, &mid, topic.c_str(), 0) == MOSQ_ERR_SUCCESS) {
            subscribing_.insert(mid);
        }
    }
    Watch();
}

void MqttSource::Watch() {
    input_ = loop_->WatchHandle(mosquitto_socket(client_->handle), [this] { Readable(); });
    limit_->Set(EventLoop::Clock::now() + ConnectLimit);
    housekeeping_->Set(EventLoop::Clock::now() + HousekeepingEvery);
    UpdateOutput();
}

void MqttSource::Readable() {
    // One message at a time: a flood waits in the socket, and the loop's other sources
    // have their turns between.
    Check(mosquitto_loop_read(client_->handle, 1));
}

void MqttSource::Writable() {
    const int result = mosquitto_loop_write(client_->handle, 1);
    // A TLS handshake goes on only in a read, whatever it waits for.
    Check(result == MOSQ_ERR_SUCCESS && client_ ? mosquitto_loop_read(client_->handle, 1) : result);
}

void MqttSource::Housekeeping() {
    housekeeping_->Set(EventLoop::Clock::now() + HousekeepingEvery);
    Check(mosquitto_loop_misc(client_->handle));
}

void MqttSource::Check(int result) {
    if (!client_) {
        return;
    }
    if (result == MOSQ_ERR_SUCCESS) {
        UpdateOutput();
        return;
    }
    const int error = errno;
    const bool refused = !client_->refusal.empty() || result == MOSQ_ERR_TLS;
    Dropped(Failure(result, error, *client_), refused);
}

void MqttSource::UpdateOutput() {
    if (!mosquitto_want_write(client_->handle)) {
        output_.reset();
    } else if (!output_) {
        output_ = loop_->WatchWritable(mosquitto_socket(client_->handle), [this] { Writable(); });
    }
}

void MqttSource::Confirm() {
    limit_->Cancel();
    confirmed_ = true;
    reopening_.Succeeded();
    said_.Clear();
    if (settings_.publish) {
        const std::string topic = StatusTopic(settings_.name);
        mosquitto_publish(client_->handle, nullptr, topic.c_str(), 6, "online", 1, true);
    }
    const std::string back = "connected to the MQTT broker at " + settings_.broker.Text();
    if (outage_) {
        outage_ = false;
        QUORVEL_INFO(lcMqtt) << back;
        out_->Put(SourceCondition{SourceCondition::Kind::Back, back});
    } else {
        QUORVEL_DEBUG(lcMqtt) << back;
    }
}

void MqttSource::Dropped(const std::string& why, bool refused) {
    // Out of the loop before the socket closes.
    input_.reset();
    output_.reset();
    housekeeping_->Cancel();
    limit_->Cancel();
    client_.reset();
    accepted_ = false;
    // A connection that ends before anything was said is a loss too, as one that was whole.
    confirmed_ = confirmed_ || (!refused && !outage_);
    Failed({refused ? SourceCondition::Kind::CannotOpen : SourceCondition::Kind::Absent, why},
           refused);
}

void MqttSource::Failed(SourceCondition condition, bool refused) {
    if (confirmed_) {
        confirmed_ = false;
        outage_ = true;
        said_.News(condition.reason);
        QUORVEL_WARNING(lcMqtt) << condition.reason << "; connecting again when it is back";
        out_->Put(SourceCondition{SourceCondition::Kind::Lost, condition.reason});
    } else if (said_.News(condition.reason)) {
        if (refused) {
            QUORVEL_WARNING(lcMqtt) << condition.reason << "; trying again now and then";
        } else {
            QUORVEL_INFO(lcMqtt) << condition.reason << "; waiting for it";
        }
        if (!outage_) {
            outage_ = true;
            out_->Put(std::move(condition));
        }
    }
    reopening_.Failed(refused ? std::chrono::milliseconds::max()
                              : std::chrono::milliseconds(RetryEvery));
}

std::string MqttSource::Failure(int result, int error, const Client& client) const {
    const std::string broker = "the MQTT broker at " + settings_.broker.Text();
    if (!client.refusal.empty()) {
        return broker + " refused the login: " + UntrustedText(client.refusal);
    }
    if (result == MOSQ_ERR_TLS) {
        return "the TLS connection to " + broker + " failed" +
               (client.logged.empty() ? std::string() : ": " + UntrustedText(client.logged));
    }
    if (result == MOSQ_ERR_ERRNO && error != 0) {
        return "cannot connect to " + broker + ": " + std::strerror(error);
    }
    if (result == MOSQ_ERR_EAI) {
        return "cannot find " + broker + ": no such host (or no name server answers)";
    }
    if (result == MOSQ_ERR_CONN_LOST || result == MOSQ_ERR_KEEPALIVE) {
        return broker + " went away";
    }
    return "the connection to " + broker + " failed: " + mosquitto_strerror(result);
}

void MqttSource::Message(std::string_view topic, std::string_view payload, bool retained) {
    MqttPayloadDecoder::Decoded decoded =
        decoder_.Decode(topic, payload, retained, EventLoop::Clock::now());
    if (decoded.event) {
        out_->Put(std::move(*decoded.event));
    } else {
        SayIgnored(std::string(topic), std::move(decoded));
    }
}

void MqttSource::SayIgnored(const std::string& topic, MqttPayloadDecoder::Decoded decoded) {
    using Ignored = MqttPayloadDecoder::Ignored;
    if (decoded.ignored == Ignored::Own) {
        return;
    }
    auto said = saidIgnored_.find(topic);
    if (said == saidIgnored_.end()) {
        if (saidIgnored_.size() == TopicsSaid) {
            return;  // enough said: a flood of topics is no flood of lines
        }
        said = saidIgnored_.emplace(topic, std::set<Ignored>()).first;
        if (saidIgnored_.size() == TopicsSaid) {
            QUORVEL_WARNING(lcMqtt) << "messages that are no keys came on " << TopicsSaid
                                    << " topics; those of further topics are not said";
        }
    }
    if (!said->second.insert(decoded.ignored).second) {
        return;
    }
    QUORVEL_WARNING(lcMqtt) << "ignored " << MqttPayloadDecoder::Describe(decoded.ignored)
                            << (decoded.detail.empty() ? std::string()
                                                       : " (" + UntrustedText(decoded.detail) + ")")
                            << " on " << UntrustedText(topic) << "; not said again for it";
}

void MqttSource::Publish(const KeyEvent& event, std::string_view kind) {
    // Before the broker answered the login it goes out after it, as the subscriptions do.
    if (!settings_.publish || !client_) {
        return;
    }
    const std::string payload = nlohmann::json{
        {"key", event.key.Text()},
        {"action", MqttPayloadDecoder::ActionText(event.action)},
        {"remote", event.remote},
        {"source", kind}}.dump();
    const std::string topic = KeyTopic(settings_.name);
    const int result =
        mosquitto_publish(client_->handle, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 0, false);
    if (result != MOSQ_ERR_SUCCESS) {
        QUORVEL_DEBUG(lcMqtt) << "a key was not published: " << mosquitto_strerror(result);
    }
    Check(result == MOSQ_ERR_NO_CONN ? MOSQ_ERR_SUCCESS : result);
}
