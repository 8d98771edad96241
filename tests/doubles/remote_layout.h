#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "actions/player_action.h"

// The remote's key layout, written out on its own so it does not share the code under
// test: what a press (0x91) or a hold (0x0D) of code does, if anything.
inline std::optional<PlayerAction> RemoteAction(int prefix, int code) {
    const bool pressed = prefix == 0x91;
    switch (code) {
        case 0x60:
            return pressed ? std::optional(PlayerAction::PlayPause) : std::nullopt;
        case 0x98:
            return pressed ? std::optional(PlayerAction::Previous) : std::nullopt;
        case 0x18:
            return pressed ? std::optional(PlayerAction::Next) : std::nullopt;
        case 0xB0:
            return PlayerAction::VolumeUp;
        case 0x70:
            return PlayerAction::VolumeDown;
        default:
            return std::nullopt;
    }
}

// The commands a stream of byte values should give: one per recognised event.
inline std::vector<PlayerAction> ExpectedCommands(const std::vector<int>& values) {
    std::vector<PlayerAction> commands;
    commands.reserve(values.size() / 2);
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        if (values[i] == 0x91 || values[i] == 0x0D) {
            if (const auto action = RemoteAction(values[i], values[i + 1])) {
                commands.push_back(*action);
            }
            ++i;
        }
    }
    return commands;
}
