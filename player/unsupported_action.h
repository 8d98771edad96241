#pragma once

#include "actions/player_action.h"

// What a link does with an action it has no way to carry out: says so once, in the player
// link's log, and nothing happens (the history still shows the key).
class UnsupportedAction {
  public:
    void Say(const PlayerRequest& request);

  private:
    bool said_ = false;
};
