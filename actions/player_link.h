#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "actions/player_feedback.h"

class EventLoop;

// The player a key goes by, chosen once for the key (PlayerLink::Choose): the key map's
// section that follows the player and the key's action then go by the same player, however
// playback changes in between. What it holds is the link's own.
struct PlayerChoice {
    bool made = false;          // false: the link chooses as it acts
    std::string player{};       // the link's name for the player; empty for none
    std::uintptr_t window = 0;  // the window it goes through, for a link that commands one
    // When the key stops waiting for its player: choosing and sending share one deadline.
    // None: from when the action is performed.
    std::chrono::steady_clock::time_point until{};
};

// How the receiver commands the media player. Every platform's link implements this one
// seam; a key bound to a command of the user's (Run) never reaches it.
class PlayerLink {
  public:
    virtual ~PlayerLink() = default;

    // Called once, on the loop's thread, before the first key: a link that has handles,
    // timers or answers to collect watches them on loop from then on, and is used on that
    // thread only (but for Interrupt).
    virtual void Attach(EventLoop& /*loop*/) {}

    // The player that an action would go to now, none when there is none. May wait (on the
    // loop, which goes on reading) for what it must know of the players, at most a share of
    // the key's deadline, which the choice carries. By default a choice left to Perform.
    virtual PlayerChoice Choose() { return {}; }

    // The names the chosen player goes by, for a key map's sections to follow: empty when
    // there is none, or the link cannot tell.
    virtual std::vector<std::string> PlayerNames(const PlayerChoice& /*choice*/) { return {}; }

    // Carries out one action on the chosen player (the player chosen now, for a choice not
    // made). A link on a loop sends it and returns; its answer is collected on the loop, and
    // the key's deadline bounds what it waits for. A link without one returns once the player
    // has handled it, the attempt has failed, or its own bound on waiting has passed.
    // Failures are not reported to the caller (the history shows the key either way); a link
    // says them in the lcPlayer log.
    virtual void Perform(const PlayerRequest& request, const PlayerChoice& choice) = 0;
    // The same on the player chosen now.
    void Perform(const PlayerRequest& request) { Perform(request, PlayerChoice{}); }

    // Safe from any thread: ends any wait for the player now, and every later one at once,
    // so a receiver being stopped is never held up by a player that does not answer. By
    // default nothing: a link whose waits cannot be cut short keeps its own bound.
    virtual void Interrupt() {}

    // Tells the user, where the link has a way to (--notify), of news that is not the
    // player's: the remote's mode. Must not wait. By default nothing.
    virtual void Announce(const PlayerNews& /*news*/) {}
};
