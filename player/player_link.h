#pragma once

#include <string>

// How the receiver reaches the media player.
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
};
