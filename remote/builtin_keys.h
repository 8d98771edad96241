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

// The same remote's keys as the kernel and lircd name them, and the other media keys most
// remotes have; their history texts are their actions'.
struct BuiltinNamedKey {
    const char* name;
    PlayerAction action;
};
inline constexpr std::array<BuiltinNamedKey, 14> BuiltinNamedKeys{{
    {"KEY_PLAYPAUSE", PlayerAction::PlayPause},
    {"KEY_PLAY", PlayerAction::PlayPause},
    {"KEY_PAUSE", PlayerAction::PlayPause},
    {"KEY_PREVIOUSSONG", PlayerAction::Previous},
    {"KEY_PREVIOUS", PlayerAction::Previous},
    {"KEY_NEXTSONG", PlayerAction::Next},
    {"KEY_NEXT", PlayerAction::Next},
    {"KEY_VOLUMEUP", PlayerAction::VolumeUp},
    {"KEY_VOLUMEDOWN", PlayerAction::VolumeDown},
    {"KEY_STOP", PlayerAction::Stop},
    {"KEY_STOPCD", PlayerAction::Stop},
    {"KEY_MUTE", PlayerAction::Mute},
    {"KEY_FASTFORWARD", PlayerAction::SeekForward},
    {"KEY_REWIND", PlayerAction::SeekBackward},
}};
inline constexpr std::array<const char*, 2> BuiltinHeldNames{"KEY_VOLUMEUP", "KEY_VOLUMEDOWN"};

// What a held key shows before what it shows pressed ("  >>REP>>VOL_UP!", "  >>REP>>96").
inline constexpr const char* RepeatText = "  >>REP>>";
