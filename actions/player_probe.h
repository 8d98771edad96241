#pragma once

#include <string>
#include <vector>

#include "actions/player_action.h"

// What a player link would find now, asked from any thread without waiting on another (the
// keyboard hook's thread asks it at a press, before the receiver has the key): the names of
// the player a [player=GLOB] section goes by, and whether an action has a taker (a player
// that is there, or a way that needs none). A link's own Choose and Perform decide what
// really happens; this only foresees it.
class PlayerProbe {
  public:
    virtual ~PlayerProbe() = default;
    virtual std::vector<std::string> Names() const = 0;
    virtual bool Takes(PlayerAction action) const = 0;
};
