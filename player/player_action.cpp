#include "player/player_action.h"

#include "player/player_commands.h"

std::optional<PlayerAction> PlayerActionFor(int id) {
    switch (id) {
        case PlayerCommand::CmdPlay:
            return PlayerAction::PlayPause;
        case PlayerCommand::CmdPrev:
            return PlayerAction::Previous;
        case PlayerCommand::CmdNext:
            return PlayerAction::Next;
        case PlayerCommand::CmdVolUp:
            return PlayerAction::VolumeUp;
        case PlayerCommand::CmdVolDown:
            return PlayerAction::VolumeDown;
        default:
            return std::nullopt;
    }
}
