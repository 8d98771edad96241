#include "player/mpris_player_link.h"

#include <utility>

#include "player/mpris_link_policy.h"

MprisPlayerLink::MprisPlayerLink(MprisPlayerFilter filter, int replyTimeoutMs, bool notify)
    : policy_(std::make_unique<MprisLinkPolicy>(std::move(filter), replyTimeoutMs, notify)) {}

MprisPlayerLink::~MprisPlayerLink() = default;

std::string MprisPlayerLink::ChosenPlayer() {
    return policy_->ChosenPlayer();
}

void MprisPlayerLink::Perform(const PlayerRequest& request) {
    policy_->Perform(request);
}

void MprisPlayerLink::Interrupt() {
    policy_->Interrupt();
}

std::vector<std::string> MprisPlayerLink::PlayerNames() {
    return policy_->PlayerNames();
}

void MprisPlayerLink::Announce(const PlayerNews& news) {
    policy_->Announce(news);
}
