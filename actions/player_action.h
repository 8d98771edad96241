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
};

// One action with what it needs: seconds for a seek, the command line for Run.
struct PlayerRequest {
    explicit PlayerRequest(PlayerAction action, int seconds = 0, std::string command = {})
        : action(action), seconds(seconds), command(std::move(command)) {}

    PlayerAction action;
    int seconds;
    std::string command;
};

inline constexpr int DefaultSeekSeconds = 5;

// The action's name in a key map ("play-pause", "seek-forward").
std::string_view ActionName(PlayerAction action);
std::optional<PlayerAction> ActionNamed(std::string_view name);
