#pragma once

#include <string>

// What a key did that the user may want to see, as a remote has no screen: the remote
// moved to another player, a player's volume changed or was muted, or the remote's mode
// changed (player "Quorvel"; text "Mode tv", or "No mode" when back), or a key's action
// failed (player "Quorvel"; text why).
struct PlayerNews {
    enum class Kind { Player, Volume, Mute, Mode, Problem };

    Kind kind;
    std::string player;  // the player as the user knows it: its Identity, else its name
    std::string text;    // what happened ("Volume 55%")
};

// Where a player link tells what its keys did (--notify): a desktop notification on Linux,
// the tray icon's balloon on Windows. Called on the link's thread, after the player has
// been commanded; it must not wait for anything, so a key is never slower for it.
class PlayerFeedback {
  public:
    virtual ~PlayerFeedback() = default;
    virtual void Show(const PlayerNews& news) = 0;
};
