#include "player/mpris_notifier.h"

#include <cstdint>
#include <utility>

#include "log/untrusted_text.h"
#include "player/mpris_bus.h"
#include "player/player_log.h"

namespace {

constexpr const char* NotificationsName = "org.freedesktop.Notifications";
constexpr const char* NotificationsPath = "/org/freedesktop/Notifications";
constexpr const char* AppName = "Quorvel";
// The server's own choice of how long a notification stays.
constexpr std::int32_t ServerExpiry = -1;

}  // namespace

bool MprisNotifier::Continues(const std::optional<Shown>& last, PlayerNews::Kind kind,
                              Clock::time_point now, Clock::duration pause) {
    return last && last->kind == kind && now - last->at < pause;
}

void MprisNotifier::Use(MprisBus* bus) {
    bus_ = bus;
    last_.reset();
    answerDue_ = false;
    id_ = 0;
    waiting_.reset();
}

void MprisNotifier::Show(const PlayerNews& news) {
    if (bus_ == nullptr) {
        return;
    }
    const Clock::time_point now = Clock::now();
    const bool continues = Continues(last_, news.kind, now, pause_);
    last_ = Shown{news.kind, now};
    if (!continues) {
        waiting_.reset();
        id_ = 0;
        Send(news, 0);
    } else if (answerDue_) {
        waiting_ = news;
    } else {
        Send(news, id_);
    }
}

void MprisNotifier::Send(const PlayerNews& news, std::uint32_t replacesId) {
    const std::uint64_t sent = ++sent_;
    answerDue_ = true;
    std::string error;
    sd_bus_message* call =
        bus_->NewCall(NotificationsName, NotificationsPath, NotificationsName, "Notify", error);
    // No actions, no hints.
    if (call != nullptr &&
        sd_bus_message_append(call, "susssasa{sv}i", AppName, replacesId, "", news.player.c_str(),
                              news.text.c_str(), 0, 0, ServerExpiry) < 0) {
        call = sd_bus_message_unref(call);
    }
    bus_->Call(
        call, {},
        [this, sent](sd_bus_message* reply, const std::string& failed) {
            std::uint32_t id = 0;
            if (failed.empty() && sd_bus_message_read_basic(reply, 'u', &id) <= 0) {
                Answered(sent, "the answer was not a notification's id", 0);
                return;
            }
            Answered(sent, failed, id);
        },
        NotifyTimeout);
}

void MprisNotifier::Answered(std::uint64_t sent, const std::string& error, std::uint32_t id) {
    if (sent != sent_) {
        return;  // a new notification has started since
    }
    answerDue_ = false;
    if (!error.empty()) {
        id_ = 0;
        if (!saidNoServer_) {
            saidNoServer_ = true;
            QUORVEL_WARNING(lcPlayer) << "no desktop notification shown (" << UntrustedText(error)
                                      << "); keys go on without them";
        }
    } else {
        id_ = id;
    }
    if (waiting_) {
        const PlayerNews news = std::move(*waiting_);
        waiting_.reset();
        Send(news, id_);
    }
}
