#pragma once

#include <deque>
#include <string>
#include <vector>

#include "actions/player_link.h"

// Records every action in the order it was asked for. Choose finds the players in playing
// in turn, the last one from then on (none when empty), so a test can move playback
// between a key's choice and its action; players records where each action given a choice
// went.
class RecordingPlayerLink : public PlayerLink {
  public:
    PlayerChoice Choose() override {
        PlayerChoice choice{.made = true};
        if (!playing.empty()) {
            choice.player = playing.front();
            if (playing.size() > 1) {
                playing.pop_front();
            }
        }
        return choice;
    }
    std::vector<std::string> PlayerNames(const PlayerChoice& choice) override {
        return choice.player.empty() ? std::vector<std::string>{}
                                     : std::vector<std::string>{choice.player};
    }
    using PlayerLink::Perform;
    void Perform(const PlayerRequest& request, const PlayerChoice& choice) override {
        actions.push_back(request.action);
        if (choice.made) {
            players.push_back(choice.player);
        }
    }

    std::vector<PlayerAction> actions;
    std::vector<std::string> players;
    std::deque<std::string> playing;
};
