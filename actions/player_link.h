#pragma once

#include <string>
#include <vector>

#include "actions/player_action.h"
#include "actions/player_feedback.h"

// How the receiver commands the media player. Every platform's link implements this one
// seam; a key bound to a command of the user's (Run) never reaches it.
class PlayerLink {
  public:
    virtual ~PlayerLink() = default;

    // Carries out one action and returns only once the player has handled it, or the
    // attempt has failed, or the link's own bound on waiting has passed. Failures are not
    // reported to the caller (the history shows the key either way); a link says them in
    // the lcPlayer log.
    virtual void Perform(const PlayerRequest& request) = 0;

    // Safe from any thread: ends any wait for the player now, and every later one at once,
    // so a receiver being stopped is never held up by a player that does not answer. By
    // default nothing: a link whose waits cannot be cut short keeps its own bound.
    virtual void Interrupt() {}

    // The names of the player that an action would go to now, for a key map's sections to
    // follow: empty when there is none, or the link cannot tell. May wait for the player
    // as long as an action would.
    virtual std::vector<std::string> PlayerNames() { return {}; }

    // Tells the user, where the link has a way to (--notify), of news that is not the
    // player's: the remote's mode. Must not wait. By default nothing.
    virtual void Announce(const PlayerNews& /*news*/) {}

  protected:
    // What a link does with an action it has no way to carry out: said once, and nothing
    // happens.
    void PerformWithoutPlayer(const PlayerRequest& request);

  private:
    bool unsupportedReported_ = false;
};
