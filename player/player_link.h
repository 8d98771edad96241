#pragma once

#include "player/command_runner.h"
#include "player/player_action.h"

// How the receiver carries out what a key is bound to: the media player's actions, and
// starting a command of the user's (Run). Every platform's link implements this one seam.
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
    // What a link does with an action that is no player's to carry out, or that it has
    // no way to: Run starts its command without waiting for it, within CommandRunner's
    // bounds (the log says what became of it); any other action is said once as one this link
    // cannot carry out, and nothing happens.
    void PerformWithoutPlayer(const PlayerRequest& request);

  private:
    bool unsupportedReported_ = false;
    CommandRunner commands_;  // Run's commands, one at a time each, a few a second
};
