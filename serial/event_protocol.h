#pragma once

// The receiver's events are two bytes: a prefix, then the key's code. Any other byte where
// a prefix is due is a stray.
inline constexpr int KeyPrefix = 0x91;     // a key was pressed
inline constexpr int RepeatPrefix = 0x0D;  // a key is being held
