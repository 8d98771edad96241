#include "player/mpris_bus.h"

#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "player/mpris_player_choice.h"

namespace {

constexpr const char* DaemonName = "org.freedesktop.DBus";
constexpr const char* DaemonPath = "/org/freedesktop/DBus";
constexpr const char* PlayerPath = "/org/mpris/MediaPlayer2";
constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* NotificationsName = "org.freedesktop.Notifications";
constexpr const char* NotificationsPath = "/org/freedesktop/Notifications";
constexpr const char* AppName = "Quorvel";
// The server's own choice of how long a notification stays.
constexpr std::int32_t ServerExpiry = -1;
// sd-bus's way to say a call has no time-out of its own.
constexpr std::uint64_t NoTimeout = std::numeric_limits<std::uint64_t>::max();

// Only MPRIS names: the daemon filters on the first argument, so the rest of the bus's
// comings and goings never wake us.
const std::string NameWatch =
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'";

// The players' property changes: the daemon filters on the path and on the interface
// named in the first argument (the MPRIS root interface or one under it).
const std::string PropertyWatch =
    "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
    "path='/org/mpris/MediaPlayer2',arg0namespace='org.mpris.MediaPlayer2'";

bool IsPlayerName(const std::string& name) {
    return name.rfind(MprisBusPrefix, 0) == 0;
}

std::string Describe(const sdbus::Error* error) {
    return error == nullptr ? std::string() : error->getName() + ": " + error->getMessage();
}

int RemainingMs(MprisBus::Deadline deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= left.zero()) {
        return 0;
    }
    // Rounded up, so a wait never ends just short of the deadline and spins.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

MprisBus::MprisBus(std::unique_ptr<sdbus::IConnection> connection,
                   std::chrono::microseconds callTimeout,
                   std::function<void(const std::string&)> ownerChanged,
                   PropertiesChanged propertiesChanged, int interruptFd)
    : ownerChanged_(std::move(ownerChanged)),
      propertiesChanged_(std::move(propertiesChanged)),
      interruptFd_(interruptFd),
      connection_(std::move(connection)) {
    // Bounds the calls that wait by themselves, the two watches below.
    connection_->setMethodCallTimeout(callTimeout);
    daemon_ = sdbus::createProxy(*connection_, DaemonName, DaemonPath);
    nameWatch_ = connection_->addMatch(NameWatch, [this](sdbus::Message& signal) {
        std::string name;
        std::string oldOwner;
        std::string newOwner;
        signal >> name >> oldOwner >> newOwner;
        // Until the list arrives, it already holds every change announced before it.
        if (namesKnown_ && IsPlayerName(name)) {
            nameChanges_.emplace_back(std::move(name), !newOwner.empty());
        }
    });
    propertyWatch_ = connection_->addMatch(PropertyWatch, [this](sdbus::Message& signal) {
        std::string interface;
        Properties changed;
        std::vector<std::string> invalidated;
        try {
            signal >> interface >> changed >> invalidated;
        } catch (const sdbus::Error&) {
            return;  // not a PropertiesChanged as the interface has it; anyone may send one
        }
        const std::string sender = signal.getSender();
        for (const auto& [name, owner] : owners_) {
            if (owner == sender) {
                propertiesChanged_(name, changed, invalidated);
            }
        }
    });
    ListNames();
}

MprisBus::~MprisBus() = default;

void MprisBus::ListNames() {
    listing_ = true;
    daemon_->callMethodAsync("ListNames")
        .onInterface(DaemonName)
        .withTimeout(NoTimeout)
        .uponReplyInvoke([this](const sdbus::Error* error, const std::vector<std::string>& names) {
            listing_ = false;
            if (error != nullptr) {
                return;
            }
            for (const std::string& name : names) {
                if (IsPlayerName(name)) {
                    nameChanges_.emplace_back(name, true);
                }
            }
            namesKnown_ = true;
        });
}

bool MprisBus::LearnNames(Deadline deadline) {
    if (!namesKnown_ && !listing_) {
        ListNames();
    }
    return RunUntil(deadline, [this] { return namesKnown_; });
}

sdbus::IProxy& MprisBus::PlayerObject(const std::string& busName) {
    auto& proxy = players_[busName];
    if (!proxy) {
        proxy = sdbus::createProxy(*connection_, busName, PlayerPath);
    }
    return *proxy;
}

void MprisBus::Get(const std::string& busName, const char* interface, const char* property,
                   Outcome done) {
    PlayerObject(busName)
        .callMethodAsync("Get")
        .onInterface(PropertiesInterface)
        .withTimeout(NoTimeout)
        .withArguments(std::string(interface), std::string(property))
        .uponReplyInvoke([done = std::move(done)](const sdbus::Error* error, sdbus::Variant value) {
            done(Describe(error), value);
        });
}

void MprisBus::GetAll(const std::string& busName, const char* interface, Outcome done) {
    sdbus::IProxy& player = PlayerObject(busName);
    sdbus::MethodCall call = player.createMethodCall(PropertiesInterface, "GetAll");
    call << std::string(interface);
    // The reply itself, not only its values: its sender is the name's owner.
    player.callMethod(
        call,
        [this, busName, done = std::move(done)](sdbus::MethodReply& reply,
                                                const sdbus::Error* error) {
            Properties properties;
            if (error == nullptr) {
                try {
                    reply >> properties;
                } catch (const sdbus::Error& malformed) {
                    done(Describe(&malformed), sdbus::Variant());
                    return;
                }
                owners_[busName] = reply.getSender();
            }
            done(Describe(error), sdbus::Variant(properties));
        },
        NoTimeout);
}

void MprisBus::Set(const std::string& busName, const char* interface, const char* property,
                   const sdbus::Variant& value, Outcome done) {
    PlayerObject(busName)
        .callMethodAsync("Set")
        .onInterface(PropertiesInterface)
        .withTimeout(NoTimeout)
        .withArguments(std::string(interface), std::string(property), value)
        .uponReplyInvoke([done = std::move(done)](const sdbus::Error* error) {
            done(Describe(error), sdbus::Variant());
        });
}

void MprisBus::Call(const std::string& busName, const char* interface, const char* method,
                    Outcome done) {
    PlayerObject(busName)
        .callMethodAsync(method)
        .onInterface(interface)
        .withTimeout(NoTimeout)
        .uponReplyInvoke([done = std::move(done)](const sdbus::Error* error) {
            done(Describe(error), sdbus::Variant());
        });
}

void MprisBus::Call(const std::string& busName, const char* interface, const char* method,
                    std::int64_t argument, Outcome done) {
    PlayerObject(busName)
        .callMethodAsync(method)
        .onInterface(interface)
        .withTimeout(NoTimeout)
        .withArguments(argument)
        .uponReplyInvoke([done = std::move(done)](const sdbus::Error* error) {
            done(Describe(error), sdbus::Variant());
        });
}

void MprisBus::Notify(const std::string& summary, const std::string& body, std::uint32_t replacesId,
                      Notified done) {
    if (!notifications_) {
        notifications_ = sdbus::createProxy(*connection_, NotificationsName, NotificationsPath);
    }
    notifications_->callMethodAsync("Notify")
        .onInterface(NotificationsName)
        .withTimeout(NotifyTimeout)
        .withArguments(std::string(AppName), replacesId, std::string(), summary, body,
                       std::vector<std::string>(), std::map<std::string, sdbus::Variant>(),
                       ServerExpiry)
        .uponReplyInvoke([done = std::move(done)](const sdbus::Error* error, std::uint32_t id) {
            done(Describe(error), id);
        });
}

void MprisBus::ApplyNameChanges() {
    // Taken out first: a handler may make calls, and the next message may add changes.
    std::vector<std::pair<std::string, bool>> changes;
    changes.swap(nameChanges_);
    for (auto& [name, owned] : changes) {
        // Outside any callback, so the calls it drops are not running.
        players_.erase(name);
        owners_.erase(name);
        if (owned) {
            names_.insert(name);
        } else {
            names_.erase(name);
        }
        ownerChanged_(name);
    }
}

bool MprisBus::RunUntil(Deadline deadline, const std::function<bool()>& done) {
    for (;;) {
        while (connection_->processPendingRequest()) {
            ApplyNameChanges();
        }
        ApplyNameChanges();
        if (done()) {
            return true;
        }
        const int remaining = RemainingMs(deadline);
        if (remaining == 0) {
            return false;
        }
        const sdbus::IConnection::PollData wanted = connection_->getEventLoopPollData();
        const int busTimeout = wanted.getPollTimeout();
        pollfd fds[2] = {{wanted.fd, wanted.events, 0}, {interruptFd_, POLLIN, 0}};
        if (::poll(fds, 2, busTimeout >= 0 && busTimeout < remaining ? busTimeout : remaining) <
                0 &&
            errno != EINTR) {
            throw sdbus::createError(errno, "waiting on the bus failed");
        }
        if (fds[1].revents != 0) {
            return done();
        }
    }
}
