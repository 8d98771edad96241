#include "actions/player_link.h"

#include "actions/player_log.h"

void PlayerLink::PerformWithoutPlayer(const PlayerRequest& request) {
    if (!unsupportedReported_) {
        unsupportedReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "this player link cannot " << ActionName(request.action)
                                  << "; the key is only shown";
    }
}
