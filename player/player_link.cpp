#include "player/player_link.h"

#include "player/player_log.h"

void PlayerLink::PerformWithoutPlayer(const PlayerRequest& request) {
    if (request.action == PlayerAction::Run) {
        commands_.Run(request.command);  // says itself what became of it
        return;
    }
    if (!unsupportedReported_) {
        unsupportedReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "this player link cannot " << ActionName(request.action)
                                  << "; the key is only shown";
    }
}
