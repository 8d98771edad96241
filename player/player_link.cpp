#include "player/player_link.h"

#include "player/detached_command.h"
#include "player/player_log.h"

void PlayerLink::PerformWithoutPlayer(const PlayerRequest& request) {
    if (request.action == PlayerAction::Run) {
        std::string error;
        if (!StartDetachedCommand(request.command, error)) {
            QUORVEL_WARNING(lcPlayer) << "cannot run \"" << request.command << "\": " << error;
        }
        return;
    }
    if (!unsupportedReported_) {
        unsupportedReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "this player link cannot " << ActionName(request.action)
                                  << "; the key is only shown";
    }
}
