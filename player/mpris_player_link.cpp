#include "player/mpris_player_link.h"

#include <utility>

#include "player/mpris_link_policy.h"

MprisPlayerLink::MprisPlayerLink(MprisPlayerFilter filter, int replyTimeoutMs, bool notify)
    : replyTimeoutMs_(replyTimeoutMs),
      policy_(std::make_unique<MprisLinkPolicy>(std::move(filter), replyTimeoutMs, notify)) {}

MprisPlayerLink::~MprisPlayerLink() = default;

void MprisPlayerLink::Attach(EventLoop& loop) {
    policy_->Attach(loop);
}

std::string MprisPlayerLink::ChosenPlayer() {
    return Choose().player;
}

bool MprisPlayerLink::Idle() const {
    return policy_->Idle();
}

PlayerChoice MprisPlayerLink::Choose() {
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(replyTimeoutMs_);
    return PlayerChoice{.made = true, .player = policy_->Choose(until), .until = until};
}

void MprisPlayerLink::Perform(const PlayerRequest& request, const PlayerChoice& choice) {
    policy_->Perform(request, choice);
}

void MprisPlayerLink::Interrupt() {
    policy_->Interrupt();
}

std::vector<std::string> MprisPlayerLink::PlayerNames(const PlayerChoice& choice) {
    return policy_->PlayerNames(choice.player);
}

void MprisPlayerLink::Announce(const PlayerNews& news) {
    policy_->Announce(news);
}
