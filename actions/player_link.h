#pragma once

#include "actions/player_action.h"

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

  protected:
    // What a link does with an action it has no way to carry out: said once, and nothing
    // happens.
    void PerformWithoutPlayer(const PlayerRequest& request);

  private:
    bool unsupportedReported_ = false;
};
