#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "source/key.h"

// Reads the keys of a key map line, "0x21,0xA1" or "KEY_PLAYPAUSE,scan:0x800f0422": byte
// codes 0-255 (decimal or 0x), kernel key names and lircd buttons (a letter, then letters,
// digits, _ - . +), optionally after a remote's name and a colon (accept:KEY_OK), and
// scancodes (scan:0x800f0422). Appends them to keys; returns the problem, or empty.
std::string ParseKeyList(std::string_view word, std::vector<Key>& keys);
