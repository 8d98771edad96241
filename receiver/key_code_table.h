#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "player/player_commands.h"

// First byte of a two-byte event from the infrared receiver.
inline constexpr int KeyPrefix = 0x91;     // a key was pressed
inline constexpr int RepeatPrefix = 0x0D;  // a key is being held

struct KeyCode {
    int code;
    const char* text;
    int command;
};

// Keys recognised after KeyPrefix, searched in this order.
inline constexpr std::array<KeyCode, 5> KeyCodeTable{{
    {0x60, "PLAY!", PlayerCommand::CmdPlay},
    {0x98, "PREV!", PlayerCommand::CmdPrev},
    {0x18, "NEXT!", PlayerCommand::CmdNext},
    {0xB0, "VOL_UP!", PlayerCommand::CmdVolUp},
    {0x70, "VOL_DOWN!", PlayerCommand::CmdVolDown},
}};

// Only the volume keys repeat while held.
inline constexpr std::array<KeyCode, 2> RepeatCodeTable{{
    {0xB0, "  >>REP>>VOL_UP!", PlayerCommand::CmdVolUp},
    {0x70, "  >>REP>>VOL_DOWN!", PlayerCommand::CmdVolDown},
}};

// What a held key that does not repeat shows before its code.
inline constexpr const char* RepeatText = "  >>REP>>";

// A byte value as decimal text: no padding, "-" for negatives.
std::string DecimalText(int value);

// A number as codes and counts are written: the whole word, decimal or 0x hexadecimal, no
// sign. None for anything else.
std::optional<unsigned long> ParseNumber(std::string_view word);
