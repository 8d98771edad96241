#include "player/player_action.h"

#include <array>
#include <cstddef>

#include "player/player_commands.h"

namespace {

struct ActionRow {
    PlayerAction action;
    std::string_view name;
    int command;  // 0 for none
};

constexpr std::array<ActionRow, 13> Actions{{
    {PlayerAction::PlayPause, "play-pause", PlayerCommand::CmdPlay},
    {PlayerAction::Previous, "previous", PlayerCommand::CmdPrev},
    {PlayerAction::Next, "next", PlayerCommand::CmdNext},
    {PlayerAction::VolumeUp, "volume-up", PlayerCommand::CmdVolUp},
    {PlayerAction::VolumeDown, "volume-down", PlayerCommand::CmdVolDown},
    {PlayerAction::Play, "play", 0},
    {PlayerAction::Pause, "pause", 0},
    {PlayerAction::Stop, "stop", 0},
    {PlayerAction::Mute, "mute", 0},
    {PlayerAction::SeekForward, "seek-forward", 0},
    {PlayerAction::SeekBackward, "seek-backward", 0},
    {PlayerAction::Raise, "raise", 0},
    {PlayerAction::Run, "run", 0},
}};

constexpr bool InActionOrder() {
    for (std::size_t i = 0; i < Actions.size(); ++i) {
        if (static_cast<std::size_t>(Actions[i].action) != i) {
            return false;
        }
    }
    return true;
}
static_assert(InActionOrder(), "a row per action, in the order of PlayerAction");

const ActionRow& Row(PlayerAction action) {
    return Actions[static_cast<std::size_t>(action)];
}

}  // namespace

std::string_view ActionName(PlayerAction action) {
    return Row(action).name;
}

std::optional<PlayerAction> ActionNamed(std::string_view name) {
    for (const ActionRow& row : Actions) {
        if (row.name == name) {
            return row.action;
        }
    }
    return std::nullopt;
}

std::optional<int> CommandIdentifier(PlayerAction action) {
    const int command = Row(action).command;
    return command != 0 ? std::optional<int>(command) : std::nullopt;
}

std::optional<PlayerAction> ActionForCommand(int id) {
    for (const ActionRow& row : Actions) {
        if (row.command != 0 && row.command == id) {
            return row.action;
        }
    }
    return std::nullopt;
}
