#include "actions/player_action.h"

#include <array>
#include <cstddef>

namespace {

struct ActionRow {
    PlayerAction action;
    std::string_view name;
};

constexpr std::array<ActionRow, 16> Actions{{
    {PlayerAction::PlayPause, "play-pause"},
    {PlayerAction::Previous, "previous"},
    {PlayerAction::Next, "next"},
    {PlayerAction::VolumeUp, "volume-up"},
    {PlayerAction::VolumeDown, "volume-down"},
    {PlayerAction::Play, "play"},
    {PlayerAction::Pause, "pause"},
    {PlayerAction::Stop, "stop"},
    {PlayerAction::Mute, "mute"},
    {PlayerAction::SeekForward, "seek-forward"},
    {PlayerAction::SeekBackward, "seek-backward"},
    {PlayerAction::Raise, "raise"},
    {PlayerAction::NextPlayer, "next-player"},
    {PlayerAction::PreviousPlayer, "previous-player"},
    {PlayerAction::Run, "run"},
    {PlayerAction::Mode, "mode"},
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
