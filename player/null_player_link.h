#pragma once

#include "actions/player_link.h"
#include "player/unsupported_action.h"

// A link to no player at all (--no-player): the player's actions go nowhere, and moving
// the remote between players is said once as something this link cannot do.
class NullPlayerLink : public PlayerLink {
  public:
    using PlayerLink::Perform;
    void Perform(const PlayerRequest& request, const PlayerChoice& /*choice*/) override {
        switch (request.action) {
            case PlayerAction::NextPlayer:
            case PlayerAction::PreviousPlayer:
                unsupported_.Say(request);
                break;
            default:
                break;
        }
    }

  private:
    UnsupportedAction unsupported_;
};
