#include "player/mpris_player_cache.h"

#include "log/untrusted_text.h"
#include "player/player_log.h"

namespace {

constexpr const char* Playing = "Playing";

std::string Text(const MprisValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    return text != nullptr ? *text : std::string();
}

}  // namespace

MprisPlayerCache::Player* MprisPlayerCache::Find(const std::string& busName) {
    const auto found = players_.find(busName);
    return found == players_.end() ? nullptr : &found->second;
}

void MprisPlayerCache::Learn(const std::string& busName, const Properties& properties,
                             bool recent) {
    Player* player = Find(busName);
    if (player == nullptr) {
        return;  // gone meanwhile
    }
    if (const auto status = properties.find("PlaybackStatus"); status != properties.end()) {
        const std::string now = Text(status->second);
        // Only a change counts: a player that repeats its status while paused, or says
        // other things, is no more recent for it.
        if (now == Playing && player->status != Playing) {
            player->becamePlaying = recent ? ++playingChanges_ : 0;
        }
        player->status = now;
    }
    if (const auto volume = properties.find("Volume"); volume != properties.end()) {
        player->volume = Volume(volume->second);
    }
    if (const auto identity = properties.find("Identity"); identity != properties.end()) {
        player->identity = Text(identity->second);
    }
}

void MprisPlayerCache::Changed(const std::string& busName, const Properties& changed,
                               const std::vector<std::string>& invalidated) {
    Player* player = Find(busName);
    if (player == nullptr) {
        return;
    }
    Learn(busName, changed, true);
    for (const std::string& property : invalidated) {
        if (property == "Volume") {
            player->volume.reset();
        } else if (property == "PlaybackStatus" || property == "Identity") {
            player->known = false;
        }
    }
}

void MprisPlayerCache::Silence(const std::string& busName) {
    Player* player = Find(busName);
    if (player == nullptr || player->silent) {
        return;
    }
    player->silent = true;
    QUORVEL_WARNING(lcPlayer)
        << UntrustedText(busName)
        << " did not answer in time; it is not waited for again until it does";
}

void MprisPlayerCache::Heard(const std::string& busName) {
    Player* player = Find(busName);
    if (player != nullptr && player->silent) {
        player->silent = false;
        QUORVEL_INFO(lcPlayer) << UntrustedText(busName) << " answers again";
    }
}

std::vector<MprisCandidate> MprisPlayerCache::Candidates(const std::set<std::string>& names) {
    std::vector<MprisCandidate> candidates;
    for (const std::string& name : names) {
        const Player& player = players_[name];
        candidates.push_back(MprisCandidate{name, player.identity, player.status == Playing,
                                            !player.silent, player.becamePlaying});
    }
    return candidates;
}

std::optional<double> MprisPlayerCache::Volume(const MprisValue& value) {
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    if (const auto* whole = std::get_if<std::int32_t>(&value)) {
        return *whole;
    }
    return std::nullopt;
}
