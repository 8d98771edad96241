#pragma once

#include <string>
#include <vector>

#include "player/player_link.h"

// Records every command identifier in the order it was sent.
class RecordingPlayerLink : public PlayerLink {
  public:
    std::string FindPlayerWindow() override {
        ++lookups;
        return "recorder";
    }
    void SendPlayerCommand(int id) override { commands.push_back(id); }

    std::vector<int> commands;
    int lookups = 0;
};
