#pragma once

#include <array>
#include <string_view>

#include "actions/player_action.h"
#include "hid/media_keys.h"

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
// remotes have; their history texts are their actions'. Named only through MediaKeys, so
// every source that names keys from that table names these alike.
struct BuiltinNamedKey {
    std::string_view name;
    PlayerAction action;
};
inline constexpr std::array<BuiltinNamedKey, 14> BuiltinNamedKeys{{
    {MediaKeyName("KEY_PLAYPAUSE"), PlayerAction::PlayPause},
    {MediaKeyName("KEY_PLAY"), PlayerAction::PlayPause},
    {MediaKeyName("KEY_PAUSE"), PlayerAction::PlayPause},
    {MediaKeyName("KEY_PREVIOUSSONG"), PlayerAction::Previous},
    {MediaKeyName("KEY_PREVIOUS"), PlayerAction::Previous},
    {MediaKeyName("KEY_NEXTSONG"), PlayerAction::Next},
    {MediaKeyName("KEY_NEXT"), PlayerAction::Next},
    {MediaKeyName("KEY_VOLUMEUP"), PlayerAction::VolumeUp},
    {MediaKeyName("KEY_VOLUMEDOWN"), PlayerAction::VolumeDown},
    {MediaKeyName("KEY_STOP"), PlayerAction::Stop},
    {MediaKeyName("KEY_STOPCD"), PlayerAction::Stop},
    {MediaKeyName("KEY_MUTE"), PlayerAction::Mute},
    {MediaKeyName("KEY_FASTFORWARD"), PlayerAction::SeekForward},
    {MediaKeyName("KEY_REWIND"), PlayerAction::SeekBackward},
}};
inline constexpr std::array<std::string_view, 2> BuiltinHeldNames{MediaKeyName("KEY_VOLUMEUP"),
                                                                  MediaKeyName("KEY_VOLUMEDOWN")};

// What a held key shows before what it shows pressed ("  >>REP>>VOL_UP!", "  >>REP>>96").
inline constexpr const char* RepeatText = "  >>REP>>";
