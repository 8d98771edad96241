#pragma once

#include "player/player_link.h"

// A link to no player at all (--no-player): the player's actions go nowhere; a bound
// command still runs.
class NullPlayerLink : public PlayerLink {
  public:
    void Perform(const PlayerRequest& request) override {
        if (request.action == PlayerAction::Run) {
            PerformWithoutPlayer(request);
        }
    }
};
