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

MprisSession::MprisSession(MprisBus::Hooks hooks, std::function<void(MprisBus*)> joined)
    : hooks_(std::move(hooks)), joined_(std::move(joined)) {
    hooks_.lost = [this](const std::string& why) { Lost(why); };
}

MprisSession::~MprisSession() = default;

void MprisSession::Attach(EventLoop& loop) {
    loop_ = &loop;
    drop_ = loop.MakeTimer([this] { lost_.reset(); });
    Join();
}

MprisBus* MprisSession::Join() {
    if (bus_ || loop_ == nullptr) {
        return bus_.get();
    }
    std::string whyNot = WhyNoSessionBus();
    if (whyNot.empty()) {
        bus_ = MprisBus::Open(*loop_, hooks_, whyNot);
    }
    if (bus_) {
        if (noBusReported_) {
            noBusReported_ = false;
            QUORVEL_INFO(lcPlayer) << "joined the D-Bus session bus";
        }
        joined_(bus_.get());
        return bus_.get();
    }
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "no D-Bus session bus, player commands go nowhere: " << whyNot;
    }
    return nullptr;
}

void MprisSession::Lost(const std::string& why) {
    joined_(nullptr);
    // Told from inside the bus: it goes once its callback has returned.
    lost_ = std::move(bus_);
    drop_->Set(EventLoop::Clock::now());
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "lost the D-Bus session bus (" << why
                                  << "); trying again at each command";
    }
}
