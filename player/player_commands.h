#pragma once

// Command identifiers the receiver sends to the player, one per recognised key.
namespace PlayerCommand {
inline constexpr int CmdPlay = 18808;     // 0x4978
inline constexpr int CmdPrev = 18810;     // 0x497A
inline constexpr int CmdNext = 18811;     // 0x497B
inline constexpr int CmdVolUp = 18815;    // 0x497F
inline constexpr int CmdVolDown = 18816;  // 0x4980
}  // namespace PlayerCommand
