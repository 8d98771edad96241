#include "player/mpris_bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "player/mpris_player_choice.h"

namespace {

constexpr const char* DaemonName = "org.freedesktop.DBus";
constexpr const char* DaemonPath = "/org/freedesktop/DBus";
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

// How long the reading thread stands aside when it finds a RunUntil reading the connection.
constexpr int StandAsideMs = 20;

bool IsPlayerName(const std::string& name) {
    return name.rfind(MprisBusPrefix, 0) == 0;
}

std::string Describe(const sdbus::Error* error) {
    return error == nullptr ? std::string() : error->getName() + ": " + error->getMessage();
}

}  // namespace

MprisBus::MprisBus(std::unique_ptr<sdbus::IConnection> connection,
                   std::chrono::microseconds callTimeout, Hooks hooks, MprisBusLock& lock)
    : hooks_(std::move(hooks)),
      lock_(lock),
      connection_(std::move(connection)),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeFd_ < 0) {
        throw sdbus::createError(errno, "cannot make the bus reader's wake-up");
    }
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
                hooks_.propertiesChanged(name, changed, invalidated);
            }
        }
    });
    ListNames();
    reader_ = std::thread([this] { Read(); });
}

MprisBus::~MprisBus() {
    Stop();
    reader_.join();
    ::close(wakeFd_);
}

void MprisBus::Stop() {
    stopping_ = true;
    Wake();
}

void MprisBus::Wake() {
    const std::uint64_t one = 1;
    // Fails only when the counter would overflow, and it is readable then anyway.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void MprisBus::Read() {
    // The interruption stays readable: polled until seen once.
    bool interruptSeen = false;
    for (;;) {
        if (stopping_) {
            return;
        }
        sdbus::IConnection::PollData wanted{};
        bool lost = false;
        bool driven = driven_;
        if (!driven) {
            const std::lock_guard guard(lock_.mutex);
            if (stopping_ || lost_) {
                return;
            }
            // Taken again under the lock: a driver may have begun since.
            driven = driven_;
            if (!driven) {
                try {
                    TakeIn();
                    wanted = connection_->getEventLoopPollData();
                } catch (const sdbus::Error& error) {
                    lost_ = error;
                    lost = true;
                }
            }
        }
        if (lost) {
            lock_.read.notify_all();
            return;
        }
        if (driven) {
            // The connection is the driver's meanwhile. Standing aside for a while rather
            // than until the driver is done spares a hand-off per press when keys come fast;
            // what arrives when none is pressed waits at most that while.
            pollfd fds[2] = {{wakeFd_, POLLIN, 0},
                             {interruptSeen ? -1 : lock_.interruptFd, POLLIN, 0}};
            if (::poll(fds, 2, StandAsideMs) > 0) {
                if ((fds[0].revents & POLLIN) != 0) {
                    Drain();
                }
                interruptSeen = interruptSeen || (fds[1].revents & POLLIN) != 0;
            }
            continue;
        }
        lock_.read.notify_all();
        pollfd fds[3] = {{wanted.fd, wanted.events, 0},
                         {wakeFd_, POLLIN, 0},
                         {interruptSeen ? -1 : lock_.interruptFd, POLLIN, 0}};
        if (::poll(fds, 3, wanted.getPollTimeout()) < 0 && errno != EINTR) {
            const std::lock_guard guard(lock_.mutex);
            lost_ = sdbus::createError(errno, "waiting on the bus failed");
        }
        if ((fds[1].revents & POLLIN) != 0) {
            Drain();
        }
        interruptSeen = interruptSeen || (fds[2].revents & POLLIN) != 0;
    }
}

void MprisBus::Drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t taken = ::read(wakeFd_, &count, sizeof count);
}

void MprisBus::TakeIn() {
    while (connection_->processPendingRequest()) {
        ApplyNameChanges();
    }
    ApplyNameChanges();
}

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

bool MprisBus::LearnNames(std::unique_lock<std::mutex>& lock, Deadline deadline) {
    if (!namesKnown_ && !listing_) {
        ListNames();
    }
    return RunUntil(lock, deadline, [this] { return namesKnown_; });
}

MprisPlayerProxy& MprisBus::Player(const std::string& busName) {
    auto& proxy = players_[busName];
    if (!proxy) {
        proxy = std::make_unique<MprisPlayerProxy>(*connection_, busName);
    }
    return *proxy;
}

void MprisBus::ReadPlayer(const std::string& busName, MprisPlayerProxy::Read done) {
    Player(busName).ReadPlayer([this, busName, done = std::move(done)](const std::string& error,
                                                                       const Properties& properties,
                                                                       const std::string& sender) {
        if (error.empty()) {
            owners_[busName] = sender;
        }
        done(error, properties, sender);
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
    // Nobody may wait for the answer: the reader must know of the time-out.
    Wake();
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
        hooks_.ownerChanged(name, owned);
    }
}

bool MprisBus::RunUntil(std::unique_lock<std::mutex>& lock, Deadline deadline,
                        const std::function<bool()>& done) {
    for (;;) {
        if (lost_) {
            throw *lost_;
        }
        if (driven_) {
            // Another thread drives the connection, and may be waiting for what a reading
            // here would take in: its readings notify read.
            const bool finished = done();
            if (finished || lock_.interrupted || std::chrono::steady_clock::now() >= deadline) {
                return finished;
            }
            lock_.read.wait_until(lock, deadline);
            continue;
        }
        sdbus::IConnection::PollData wanted{};
        try {
            TakeIn();
            wanted = connection_->getEventLoopPollData();
        } catch (const sdbus::Error& error) {
            lost_ = error;
            Wake();
            throw;
        }
        const auto now = std::chrono::steady_clock::now();
        const bool finished = done();
        if (finished || lock_.interrupted || now >= deadline) {
            // A message not all written: the reader must wait to write the rest.
            if ((wanted.events & POLLOUT) != 0) {
                Wake();
            }
            return finished;
        }
        // The waiting thread reads the connection itself: an answer then reaches it with no
        // hand-off between threads.
        auto wait = std::chrono::ceil<std::chrono::microseconds>(deadline - now);
        if (const auto timeout = wanted.getRelativeTimeout()) {
            wait = std::min(wait, *timeout);
        }
        const timespec waitFor{static_cast<time_t>(wait.count() / 1'000'000),
                               static_cast<long>(wait.count() % 1'000'000 * 1'000)};
        pollfd fds[2] = {{wanted.fd, wanted.events, 0}, {lock_.interruptFd, POLLIN, 0}};
        driven_ = true;
        lock.unlock();
        const int ready = ::ppoll(fds, 2, &waitFor, nullptr);
        const int pollError = errno;
        lock.lock();
        driven_ = false;
        lock_.read.notify_all();
        if (ready < 0 && pollError != EINTR) {
            lost_ = sdbus::createError(pollError, "waiting on the bus failed");
        }
    }
}
