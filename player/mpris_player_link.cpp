#include "player/mpris_player_link.h"

#include <utility>

#include "player/mpris_link_policy.h"

MprisPlayerLink::MprisPlayerLink(MprisPlayerFilter filter, int replyTimeoutMs, bool notify)
    : policy_(std::make_unique<MprisLinkPolicy>(std::move(filter), replyTimeoutMs, notify)) {}

MprisPlayerLink::~MprisPlayerLink() = default;

std::string MprisPlayerLink::ChosenPlayer() {
    return policy_->ChosenPlayer();
}

PlayerChoice MprisPlayerLink::Choose() {
    return PlayerChoice{.made = true, .player = policy_->ChosenPlayer()};
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
