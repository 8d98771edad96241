#include "player/mpris_player_link.h"

#include <dbus/dbus.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "player/player_commands.h"
#include "player/player_log.h"

namespace {

constexpr const char* SessionBusVariable = "DBUS_SESSION_BUS_ADDRESS";
constexpr const char* PlayerPath = "/org/mpris/MediaPlayer2";
constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";

struct MessageUnref {
    void operator()(DBusMessage* m) const { dbus_message_unref(m); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

struct PendingUnref {
    void operator()(DBusPendingCall* p) const { dbus_pending_call_unref(p); }
};
using Pending = std::unique_ptr<DBusPendingCall, PendingUnref>;

class Error {
  public:
    Error() { dbus_error_init(&error_); }
    ~Error() { dbus_error_free(&error_); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;

    DBusError* Out() { return &error_; }
    bool Is(const char* name) const { return dbus_error_has_name(&error_, name); }
    const char* Name() const { return error_.name ? error_.name : ""; }
    const char* Text() const { return error_.message ? error_.message : ""; }

  private:
    DBusError error_;
};

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) {
        return 0;
    }
    // Rounded up, so that a wait never ends just short of the deadline and spins.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// An address from which libdbus would launch a bus of its own rather than join one.
bool LaunchesABus(std::string_view address) {
    while (!address.empty()) {
        const std::size_t end = address.find(';');
        if (address.substr(0, end).rfind("autolaunch:", 0) == 0) {
            return true;
        }
        address.remove_prefix(end == std::string_view::npos ? address.size() : end + 1);
    }
    return false;
}

Message PlayerCall(const std::string& player, const char* interface, const char* method) {
    Message m(dbus_message_new_method_call(player.c_str(), PlayerPath, interface, method));
    if (m) {
        // A player that is not running must not be started behind the user's back.
        dbus_message_set_auto_start(m.get(), FALSE);
    }
    return m;
}

Message GetProperty(const std::string& player, const char* interface, const char* name) {
    Message m = PlayerCall(player, PropertiesInterface, "Get");
    if (m && !dbus_message_append_args(m.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                       &name, DBUS_TYPE_INVALID)) {
        m.reset();
    }
    return m;
}

Message SetVolume(const std::string& player, double volume) {
    Message m = PlayerCall(player, PropertiesInterface, "Set");
    if (!m) {
        return m;
    }
    const char* name = "Volume";
    DBusMessageIter args;
    DBusMessageIter value = DBUS_MESSAGE_ITER_INIT_CLOSED;
    dbus_message_iter_init_append(m.get(), &args);
    const bool built = dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &PlayerInterface) &&
                       dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &name) &&
                       dbus_message_iter_open_container(&args, DBUS_TYPE_VARIANT,
                                                        DBUS_TYPE_DOUBLE_AS_STRING, &value) &&
                       dbus_message_iter_append_basic(&value, DBUS_TYPE_DOUBLE, &volume) &&
                       dbus_message_iter_close_container(&args, &value);
    if (!built) {
        dbus_message_iter_abandon_container_if_open(&args, &value);
        m.reset();
    }
    return m;
}

// Opens the value of a Properties.Get reply; false when the reply is not one.
bool OpenProperty(DBusMessage* reply, DBusMessageIter& value) {
    DBusMessageIter args;
    if (reply == nullptr || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN ||
        !dbus_message_iter_init(reply, &args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_VARIANT) {
        return false;
    }
    dbus_message_iter_recurse(&args, &value);
    return true;
}

std::string StringProperty(DBusMessage* reply) {
    DBusMessageIter value;
    if (!OpenProperty(reply, value) || dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING) {
        return {};
    }
    const char* s = nullptr;
    dbus_message_iter_get_basic(&value, &s);
    return s;
}

template <typename T>
double Basic(DBusMessageIter& value) {
    T v{};
    dbus_message_iter_get_basic(&value, &v);
    return static_cast<double>(v);
}

// Volume is a double, but a player that answers with an integer is still understood.
std::optional<double> NumberProperty(DBusMessage* reply) {
    DBusMessageIter value;
    if (!OpenProperty(reply, value)) {
        return std::nullopt;
    }
    switch (dbus_message_iter_get_arg_type(&value)) {
        case DBUS_TYPE_DOUBLE:
            return Basic<double>(value);
        case DBUS_TYPE_BYTE:
            return Basic<unsigned char>(value);
        case DBUS_TYPE_INT16:
            return Basic<dbus_int16_t>(value);
        case DBUS_TYPE_UINT16:
            return Basic<dbus_uint16_t>(value);
        case DBUS_TYPE_INT32:
            return Basic<dbus_int32_t>(value);
        case DBUS_TYPE_UINT32:
            return Basic<dbus_uint32_t>(value);
        case DBUS_TYPE_INT64:
            return Basic<dbus_int64_t>(value);
        case DBUS_TYPE_UINT64:
            return Basic<dbus_uint64_t>(value);
        default:
            return std::nullopt;
    }
}

// The MPRIS names in a ListNames reply.
std::vector<std::string> PlayerNames(DBusMessage* reply) {
    std::vector<std::string> names;
    DBusMessageIter args;
    DBusMessageIter array;
    if (!dbus_message_iter_init(reply, &args) ||
        dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(&args) != DBUS_TYPE_STRING) {
        return names;
    }
    const std::string_view prefix = MprisBusPrefix;
    for (dbus_message_iter_recurse(&args, &array);
         dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRING;
         dbus_message_iter_next(&array)) {
        const char* name = nullptr;
        dbus_message_iter_get_basic(&array, &name);
        if (std::string_view(name).substr(0, prefix.size()) == prefix) {
            names.emplace_back(name);
        }
    }
    return names;
}

// Sends without waiting; null when it could not be sent (no memory, or the bus is gone).
Pending Ask(DBusConnection* connection, const Message& message, int timeoutMs) {
    DBusPendingCall* pending = nullptr;
    if (!message ||
        !dbus_connection_send_with_reply(connection, message.get(), &pending, timeoutMs)) {
        return nullptr;
    }
    return Pending(pending);
}

// Reads until every call has its reply, the bus is gone or the deadline has passed. The
// calls' own timeouts would only start when each is waited for, one after the other.
void AwaitReplies(DBusConnection* connection, const std::vector<DBusPendingCall*>& calls,
                  std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        // Dispatching hands each reply to its call.
        while (dbus_connection_dispatch(connection) == DBUS_DISPATCH_DATA_REMAINS) {
        }
        const bool all = std::all_of(calls.begin(), calls.end(), [](DBusPendingCall* p) {
            return p == nullptr || dbus_pending_call_get_completed(p);
        });
        const int remaining = RemainingMs(deadline);
        if (all || remaining == 0 || !dbus_connection_get_is_connected(connection)) {
            return;
        }
        dbus_connection_read_write(connection, remaining);
    }
}

// The reply of a call waited for; a call still unanswered is given up.
Message TakeReply(DBusPendingCall* pending) {
    if (pending == nullptr) {
        return nullptr;
    }
    if (!dbus_pending_call_get_completed(pending)) {
        dbus_pending_call_cancel(pending);
        return nullptr;
    }
    return Message(dbus_pending_call_steal_reply(pending));
}

}  // namespace

MprisPlayerLink::MprisPlayerLink(std::string wantedName, std::string busAddress, int replyTimeoutMs)
    : wanted_(std::move(wantedName)),
      address_(std::move(busAddress)),
      replyTimeoutMs_(replyTimeoutMs) {
    // Read once: the session bus is the one the program was started in.
    if (address_.empty()) {
        const char* session = std::getenv(SessionBusVariable);
        address_ = session != nullptr ? session : "";
    }
}

MprisPlayerLink::~MprisPlayerLink() {
    Disconnect();
}

bool MprisPlayerLink::Connect(std::string& whyNot) {
    if (address_.empty()) {
        whyNot = std::string(SessionBusVariable) + " is not set";
        return false;
    }
    if (LaunchesABus(address_)) {
        whyNot = "no bus is launched for " + address_;
        return false;
    }
    // Once per process, before its first connection.
    static const bool threadsReady = dbus_threads_init_default();
    if (!threadsReady) {
        whyNot = "libdbus cannot use threads";
        return false;
    }

    Error error;
    // Private: the link alone reads and writes it, on the calling thread.
    DBusConnection* connection = dbus_connection_open_private(address_.c_str(), error.Out());
    if (connection == nullptr) {
        whyNot = error.Text();
        return false;
    }
    // Losing the bus is the link's business, never a reason to end the program.
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    // Joins the bus under the bound of any call (dbus_bus_register would wait 25 s): a bus
    // that does not answer must not hold the remote longer than a player that does not.
    const Message hello(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                     DBUS_INTERFACE_DBUS, "Hello"));
    const Message welcome(hello ? dbus_connection_send_with_reply_and_block(
                                      connection, hello.get(), replyTimeoutMs_, error.Out())
                                : nullptr);
    if (!welcome) {
        whyNot = hello ? error.Text() : "no memory";
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
        return false;
    }
    connection_ = connection;
    return true;
}

void MprisPlayerLink::Disconnect() {
    if (connection_ != nullptr) {
        // A private connection must be closed before its last reference goes.
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
        connection_ = nullptr;
    }
}

bool MprisPlayerLink::BusUsable() {
    if (connection_ != nullptr) {
        // Takes in what came unasked (late replies, calls to us, the bus hanging up), so it
        // does not pile up and a lost bus is seen before a command is spent on it.
        dbus_connection_read_write(connection_, 0);
        while (dbus_connection_dispatch(connection_) == DBUS_DISPATCH_DATA_REMAINS) {
        }
        if (dbus_connection_get_is_connected(connection_)) {
            return true;
        }
        Disconnect();
        if (!noBusReported_) {
            noBusReported_ = true;
            QUORVEL_WARNING(lcPlayer) << "lost the D-Bus session bus; trying again at each command";
        }
    }

    const bool reported = noBusReported_;
    std::string whyNot;
    if (Connect(whyNot)) {
        noBusReported_ = false;
        if (reported) {
            QUORVEL_INFO(lcPlayer) << "joined the D-Bus session bus";
        }
        return true;
    }
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "no D-Bus session bus, player commands go nowhere: " << whyNot;
    }
    return false;
}

std::vector<MprisCandidate> MprisPlayerLink::ListCandidates() {
    Error error;
    const Message list(dbus_message_new_method_call(DBUS_SERVICE_DBUS, DBUS_PATH_DBUS,
                                                    DBUS_INTERFACE_DBUS, "ListNames"));
    const Message names(list ? dbus_connection_send_with_reply_and_block(
                                   connection_, list.get(), replyTimeoutMs_, error.Out())
                             : nullptr);
    if (!names) {
        QUORVEL_WARNING(lcPlayer) << "cannot list the bus names: " << error.Text();
        return {};
    }

    // Every player is asked at once, so a hung one costs one bound, not one per player.
    struct Asked {
        MprisCandidate candidate;
        Pending identity;
        Pending status;
    };
    std::vector<Asked> asked;
    std::vector<DBusPendingCall*> calls;
    for (std::string& name : PlayerNames(names.get())) {
        Pending identity =
            Ask(connection_, GetProperty(name, RootInterface, "Identity"), replyTimeoutMs_);
        Pending status =
            Ask(connection_, GetProperty(name, PlayerInterface, "PlaybackStatus"), replyTimeoutMs_);
        calls.push_back(identity.get());
        calls.push_back(status.get());
        asked.push_back(Asked{MprisCandidate{std::move(name), {}, false}, std::move(identity),
                              std::move(status)});
    }
    AwaitReplies(connection_, calls,
                 std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs_));

    std::vector<MprisCandidate> candidates;
    candidates.reserve(asked.size());
    for (Asked& a : asked) {
        a.candidate.identity = StringProperty(TakeReply(a.identity.get()).get());
        a.candidate.playing = StringProperty(TakeReply(a.status.get()).get()) == "Playing";
        candidates.push_back(std::move(a.candidate));
    }
    return candidates;
}

std::string MprisPlayerLink::FindPlayerWindow() {
    player_.clear();
    if (!BusUsable()) {
        return {};
    }
    return Lookup();
}

std::string MprisPlayerLink::Lookup() {
    player_ = ChooseMprisPlayer(ListCandidates(), wanted_);
    if (player_.empty()) {
        if (!noPlayerReported_) {
            noPlayerReported_ = true;
            QUORVEL_INFO(lcPlayer) << (wanted_.empty() ? "no MPRIS player on the bus"
                                                       : "no MPRIS player named " + wanted_);
        }
    } else {
        noPlayerReported_ = false;
        QUORVEL_INFO(lcPlayer) << "commanding " << player_;
    }
    return player_;
}

void MprisPlayerLink::SendPlayerCommand(int id) {
    switch (id) {
        case PlayerCommand::CmdPlay:
        case PlayerCommand::CmdPrev:
        case PlayerCommand::CmdNext:
        case PlayerCommand::CmdVolUp:
        case PlayerCommand::CmdVolDown:
            break;
        default:
            return;
    }
    if (!BusUsable()) {
        return;
    }
    if (player_.empty() && Lookup().empty()) {
        return;
    }
    if (Deliver(id) == Delivery::PlayerGone && !Lookup().empty()) {
        Deliver(id);
    }
}

MprisPlayerLink::Delivery MprisPlayerLink::Deliver(int id) {
    const Deadline deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs_);
    switch (id) {
        case PlayerCommand::CmdPlay:
            return CallPlayerMethod("PlayPause", deadline);
        case PlayerCommand::CmdPrev:
            return CallPlayerMethod("Previous", deadline);
        case PlayerCommand::CmdNext:
            return CallPlayerMethod("Next", deadline);
        case PlayerCommand::CmdVolUp:
            return StepVolume(VolumeStep, deadline);
        case PlayerCommand::CmdVolDown:
            return StepVolume(-VolumeStep, deadline);
        default:
            return Delivery::Done;
    }
}

MprisPlayerLink::Delivery MprisPlayerLink::CallPlayerMethod(const char* method, Deadline deadline) {
    const Message call = PlayerCall(player_, PlayerInterface, method);
    return CallPlayer(call.get(), deadline, method, nullptr);
}

MprisPlayerLink::Delivery MprisPlayerLink::StepVolume(double step, Deadline deadline) {
    const Message get = GetProperty(player_, PlayerInterface, "Volume");
    DBusMessage* got = nullptr;
    const Delivery read = CallPlayer(get.get(), deadline, "reading Volume", &got);
    const Message reply(got);
    if (read != Delivery::Done) {
        return read;
    }
    const std::optional<double> volume = NumberProperty(reply.get());
    if (!volume) {
        QUORVEL_WARNING(lcPlayer) << player_ << " gave no usable Volume";
        return Delivery::Failed;
    }
    const Message set = SetVolume(player_, std::clamp(*volume + step, 0.0, 1.0));
    return CallPlayer(set.get(), deadline, "setting Volume", nullptr);
}

MprisPlayerLink::Delivery MprisPlayerLink::CallPlayer(DBusMessage* message, Deadline deadline,
                                                      const char* what, DBusMessage** reply) {
    Error error;
    const int remaining = RemainingMs(deadline);
    if (message == nullptr) {
        dbus_set_error_const(error.Out(), DBUS_ERROR_NO_MEMORY, "the call could not be built");
    } else if (remaining == 0) {
        dbus_set_error_const(error.Out(), DBUS_ERROR_TIMEOUT, "no time left for this command");
    } else if (DBusMessage* got = dbus_connection_send_with_reply_and_block(
                   connection_, message, remaining, error.Out())) {
        if (reply != nullptr) {
            *reply = got;
        } else {
            dbus_message_unref(got);
        }
        return Delivery::Done;
    }
    QUORVEL_WARNING(lcPlayer) << what << " on " << player_ << " failed: " << error.Name() << ' '
                              << error.Text();
    if (error.Is(DBUS_ERROR_SERVICE_UNKNOWN) || error.Is(DBUS_ERROR_NAME_HAS_NO_OWNER)) {
        return Delivery::PlayerGone;
    }
    return Delivery::Failed;
}
