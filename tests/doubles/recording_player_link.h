#pragma once

#include <vector>

#include "actions/player_link.h"

// Records every action in the order it was asked for.
class RecordingPlayerLink : public PlayerLink {
  public:
    void Perform(const PlayerRequest& request) override { actions.push_back(request.action); }

    std::vector<PlayerAction> actions;
};
