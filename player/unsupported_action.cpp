#include "player/unsupported_action.h"

#include "player/player_log.h"

void UnsupportedAction::Say(const PlayerRequest& request) {
    if (!said_) {
        said_ = true;
        QUORVEL_WARNING(lcPlayer) << "this player link cannot " << ActionName(request.action)
                                  << "; the key is only shown";
    }
}
