// The player link's volume and mute: read, stepped, written, and told.
#include <cmath>
#include <memory>
#include <string>

#include "log/untrusted_text.h"
#include "player/mpris_link_policy.h"
#include "player/player_log.h"
#include "player/volume_step.h"

void MprisLinkPolicy::ChangeVolume(Lock& lock, const std::string& busName,
                                   const std::function<double(double)>& next, PlayerNews::Kind kind,
                                   Deadline deadline) {
    if (!cache_[busName].volume) {
        auto replied = std::make_shared<bool>(false);
        // By name: an answer that comes too late still lands there.
        bus_->Player(busName).ReadVolume(Learning(busName, "reading Volume", replied, true, false));
        if (!Await(lock, busName, replied, deadline)) {
            return;
        }
    }
    MprisPlayerCache::Player* player = cache_.Find(busName);
    if (player == nullptr) {
        return;  // gone meanwhile
    }
    if (!player->volume) {
        QUORVEL_WARNING(lcPlayer) << UntrustedText(busName) << " gave no usable Volume";
        return;
    }
    const double volume = *player->volume;
    // NaN or infinity would be written back as it is: left alone, and said once.
    if (!std::isfinite(volume)) {
        if (!player->saidBadVolume) {
            player->saidBadVolume = true;
            QUORVEL_WARNING(lcPlayer) << UntrustedText(busName) << " gave a Volume of " << volume
                                      << "; its volume is left alone";
        }
        return;
    }
    const double wanted = next(volume);
    if (wanted == volume) {
        // At a limit: the level is shown all the same, or the key would seem dead.
        Tell(kind, busName, VolumeNewsText(kind, wanted));
        return;
    }
    // As the player will have it; its own word, whenever it comes, replaces this.
    player->volume = wanted;
    auto written = std::make_shared<bool>(false);
    auto failed = std::make_shared<bool>(false);
    bus_->Player(busName).WriteVolume(
        wanted, Reply(busName, "setting Volume", written, [this, busName, failed] {
            *failed = true;
            // Forgotten, so the next step asks it.
            if (MprisPlayerCache::Player* still = cache_.Find(busName)) {
                still->volume.reset();
            }
        }));
    if (Await(lock, busName, written, deadline) && !*failed) {
        Tell(kind, busName, VolumeNewsText(kind, wanted));
    }
}
