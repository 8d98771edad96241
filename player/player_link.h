#pragma once

#include <string>

#include "player/command_runner.h"
#include "player/player_action.h"

// How the receiver carries out what a key is bound to: the media player's commands, and
// starting a command of the user's (Run).
class PlayerLink {
  public:
    virtual ~PlayerLink() = default;

    // Looks the player up and keeps it for later commands. Returns the player's name,
    // empty when none was found; a missing player is not an error.
    virtual std::string FindPlayerWindow() = 0;

    // Sends one command identifier (see player_commands.h) and returns only once the
    // player has handled it, or the attempt has failed. Failures are not reported to
    // the caller: the history shows the key either way.
    virtual void SendPlayerCommand(int id) = 0;

    // Carries out any action, on the same terms. By default an action with a command
    // identifier goes through SendPlayerCommand, Run starts its command without waiting
    // for it, within CommandRunner's bounds (diagnostics say when it cannot), and any other action
    // is one this link cannot carry out: it says so once, and does nothing.
    virtual void Perform(const PlayerRequest& request);

    // Safe from any thread: ends any wait for the player now, and every later one at once,
    // so a receiver being stopped is never held up by a player that does not answer. By
    // default nothing: a link whose waits cannot be cut short keeps its own bound.
    virtual void Interrupt() {}

  private:
    bool unsupportedReported_ = false;
    CommandRunner commands_;  // Run's commands, one at a time each, a few a second
};
