#pragma once

#include <optional>

// What a command identifier asks of the player, whatever the link that carries it out.
// A link maps each action to its own means (an MPRIS method, a property write...).
enum class PlayerAction { PlayPause, Previous, Next, VolumeUp, VolumeDown };

// The action of a command identifier (player_commands.h); none for any other number.
std::optional<PlayerAction> PlayerActionFor(int id);
