#include "player/mpris_notifier.h"

#include <utility>

#include "log/untrusted_text.h"
#include "player/mpris_bus.h"
#include "player/player_log.h"

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
    bus_->Notify(
        news.player, news.text, replacesId,
        [this, sent](const std::string& error, std::uint32_t id) { Answered(sent, error, id); });
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
