#include "player/mpris_session.h"

#include <sys/stat.h>

#include <cstdlib>
#include <utility>

#include "player/player_log.h"

namespace {

// Why sd-bus would find no session bus, or empty when it may find one. Said here, as
// sd-bus's own reason would only be "No such file or directory".
std::string WhyNoSessionBus() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr) {
        return {};
    }
    // Started over SSH, the program still finds the desktop's bus this way.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) {
        return "neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set";
    }
    const std::string socket = std::string(runtime) + "/bus";
    struct stat status {};
    if (::stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
        return "DBUS_SESSION_BUS_ADDRESS is not set and there is no " + socket;
    }
    return {};
}

}  // namespace

MprisSession::MprisSession(std::chrono::milliseconds callTimeout, MprisBus::Hooks hooks,
                           std::function<void(MprisBus*)> joined, MprisBusLock& lock)
    : callTimeout_(callTimeout), hooks_(std::move(hooks)), joined_(std::move(joined)), lock_(lock) {
    // Starts joining at once, so the first press finds the bus joined.
    if (WhyNoSessionBus().empty()) {
        std::string notYet;
        connection_ = connector_.Take(std::chrono::steady_clock::now(), -1, notYet);
    }
}

MprisSession::~MprisSession() = default;

MprisBus* MprisSession::Join(std::unique_lock<std::mutex>& lock, Deadline joinDeadline) {
    if (bus_) {
        try {
            bus_->RunUntil(lock, Deadline(), [] { return false; });
            return bus_.get();
        } catch (const sdbus::Error& error) {
            Lose(lock, error.getMessage());
        }
    }
    std::string whyNot = WhyNoSessionBus();
    if (whyNot.empty()) {
        // A bus that does not answer costs a press at most until joinDeadline, once: the
        // joining goes on in the background, and presses meanwhile are dropped.
        auto connection = connection_ ? std::move(connection_)
                                      : connector_.Take(joinDeadline, lock_.interruptFd, whyNot);
        if (connection) {
            try {
                bus_ =
                    std::make_unique<MprisBus>(std::move(connection), callTimeout_, hooks_, lock_);
                joined_(bus_.get());
            } catch (const sdbus::Error& error) {
                whyNot = error.getMessage();
            }
        }
    }
    if (bus_) {
        if (noBusReported_) {
            noBusReported_ = false;
            QUORVEL_INFO(lcPlayer) << "joined the D-Bus session bus";
        }
        return bus_.get();
    }
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "no D-Bus session bus, player commands go nowhere: " << whyNot;
    }
    return nullptr;
}

void MprisSession::Lose(std::unique_lock<std::mutex>& lock, const std::string& why) {
    joined_(nullptr);
    if (bus_) {
        // Its thread takes the lock to read: stopped first, so it runs no callback once
        // the lock is free, and joined without the lock.
        bus_->Stop();
        std::unique_ptr<MprisBus> lost = std::move(bus_);
        lock.unlock();
        lost.reset();
        lock.lock();
    }
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "lost the D-Bus session bus (" << why
                                  << "); trying again at each command";
    }
}
