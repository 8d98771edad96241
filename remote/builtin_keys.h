#pragma once

#include <array>

#include "actions/player_action.h"

// The remote Quorvel knows without a key map: what its keys show and do.
struct BuiltinKey {
    int code;
    const char* text;
    PlayerAction action;
};

// Key presses, searched in this order.
inline constexpr std::array<BuiltinKey, 5> BuiltinKeys{{
    {0x60, "PLAY!", PlayerAction::PlayPause},
    {0x98, "PREV!", PlayerAction::Previous},
    {0x18, "NEXT!", PlayerAction::Next},
    {0xB0, "VOL_UP!", PlayerAction::VolumeUp},
    {0x70, "VOL_DOWN!", PlayerAction::VolumeDown},
}};

// Only the volume keys repeat their action while held.
inline constexpr std::array<int, 2> BuiltinHeldCodes{0xB0, 0x70};

// What a held key shows before what it shows pressed ("  >>REP>>VOL_UP!", "  >>REP>>96").
inline constexpr const char* RepeatText = "  >>REP>>";
