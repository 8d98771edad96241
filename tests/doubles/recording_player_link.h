#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "actions/player_link.h"

// Records every action in the order it was asked for. Choose finds the players in playing
// in turn, the last one from then on (none when empty), so a test can move playback
// between a key's choice and its action; players records where each action given a choice
// went. With answer, each action's outcome is told at once (empty: it reached its player);
// Outcome tells one later, as a link on a loop does.
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
        presses.push_back(choice.press);
        if (choice.made) {
            players.push_back(choice.player);
        }
        if (answer) {
            Outcome(choice.press, *answer);
        }
    }
    void Announce(const PlayerNews& news) override { told.push_back(news.text); }
    void Outcome(std::uint64_t press, const std::string& why = {}) {
        PlayerChoice choice;
        choice.press = press;
        if (why.empty()) {
            TellReached(choice);
        } else {
            TellFailed(choice, why);
        }
    }

    std::vector<PlayerAction> actions;
    std::vector<std::string> players;
    std::deque<std::string> playing;
    std::vector<std::uint64_t> presses;  // each action's press
    std::vector<std::string> told;       // what Announce was given
    std::optional<std::string> answer;
};
