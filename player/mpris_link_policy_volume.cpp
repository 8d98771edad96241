// The player link's volume and mute: read, stepped, written, and told.
#include <cmath>
#include <memory>
#include <string>

#include "log/untrusted_text.h"
#include "player/mpris_link_policy.h"
#include "player/mpris_player_proxy.h"
#include "player/player_log.h"
#include "player/volume_step.h"

void MprisLinkPolicy::ChangeVolume(const std::string& busName,
                                   const std::function<double(double)>& next, PlayerNews::Kind kind,
                                   Deadline until) {
    busy_[busName] = until;
    if (cache_[busName].volume) {
        WriteVolume(busName, next, kind, until);
        return;
    }
    MprisPlayerProxy(*bus_, busName)
        .ReadVolume(Learning(busName, "reading Volume", true, false,
                             [this, busName, next, kind, until](bool ok) {
                                 // Written only within the key's second: a step that comes
                                 // late surprises more than one lost.
                                 if (!ok || bus_ == nullptr || Clock::now() >= until) {
                                     busy_.erase(busName);
                                     return;
                                 }
                                 WriteVolume(busName, next, kind, until);
                             }));
}

void MprisLinkPolicy::WriteVolume(const std::string& busName,
                                  const std::function<double(double)>& next, PlayerNews::Kind kind,
                                  Deadline until) {
    MprisPlayerCache::Player* player = cache_.Find(busName);
    if (player == nullptr || !player->volume || !std::isfinite(*player->volume)) {
        busy_.erase(busName);
        if (player == nullptr) {
            return;  // gone meanwhile
        }
        if (!player->volume) {
            QUORVEL_WARNING(lcPlayer) << UntrustedText(busName) << " gave no usable Volume";
        } else if (!player->saidBadVolume) {
            // NaN or infinity would be written back as it is: left alone, and said once.
            player->saidBadVolume = true;
            QUORVEL_WARNING(lcPlayer) << UntrustedText(busName) << " gave a Volume of "
                                      << *player->volume << "; its volume is left alone";
        }
        return;
    }
    const double volume = *player->volume;
    const double wanted = next(volume);
    if (wanted == volume) {
        // At a limit: the level is shown all the same, or the key would seem dead.
        busy_.erase(busName);
        Tell(kind, busName, VolumeNewsText(kind, wanted));
        return;
    }
    // As the player will have it; its own word, whenever it comes, replaces this.
    player->volume = wanted;
    busy_[busName] = until;
    MprisPlayerProxy(*bus_, busName)
        .WriteVolume(wanted,
                     Reply(busName, "setting Volume", [this, busName, kind, wanted](bool ok) {
                         busy_.erase(busName);
                         if (!ok) {
                             // Forgotten, so the next step asks it.
                             if (MprisPlayerCache::Player* still = cache_.Find(busName)) {
                                 still->volume.reset();
                             }
                             return;
                         }
                         Tell(kind, busName, VolumeNewsText(kind, wanted));
                     }));
}
