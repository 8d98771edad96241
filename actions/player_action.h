#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

// What a bound key does: the one vocabulary of actions, from the key map through the
// signal cycle to every player link. The first five are the built-in keys' actions.
enum class PlayerAction {
    PlayPause,
    Previous,
    Next,
    VolumeUp,
    VolumeDown,
    Play,
    Pause,
    Stop,
    Mute,  // volume 0, and back to what it was at the next mute
    SeekForward,
    SeekBackward,
    Raise,           // bring the player's window to the front
    NextPlayer,      // move the remote to another running player
    PreviousPlayer,  // ... the other way round
    Run,             // start a command, without waiting for it
    Mode,            // switch the remote to a mode's keys, or back (the cycle's own)
};

// One action with what it needs: seconds for a seek, the command line for Run; for Mode
// the mode's name (empty: back to no mode) and the seconds without a key that end it (0:
// none).
struct PlayerRequest {
    explicit PlayerRequest(PlayerAction action, int seconds = 0, std::string command = {})
        : action(action), seconds(seconds), command(std::move(command)) {}

    PlayerAction action;
    int seconds;
    std::string command;
};

inline constexpr int DefaultSeekSeconds = 5;
// The last action, for walking them all.
inline constexpr PlayerAction LastAction = PlayerAction::Mode;

// The action's name in a key map ("play-pause", "seek-forward").
std::string_view ActionName(PlayerAction action);
std::optional<PlayerAction> ActionNamed(std::string_view name);
