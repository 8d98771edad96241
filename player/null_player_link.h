#pragma once

#include "player/player_link.h"

// A link to no player at all: every command goes nowhere.
class NullPlayerLink : public PlayerLink {
  public:
    std::string FindPlayerWindow() override { return {}; }
    void SendPlayerCommand(int) override {}
};
