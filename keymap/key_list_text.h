#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "source/key.h"

// Reads the keys of a key map line, "0x21,0xA1" or "KEY_PLAYPAUSE,scan:0x800f0422": byte
// codes 0-255 (decimal or 0x), kernel key names and lircd buttons (a letter, then letters,
// digits, _ - . +), optionally after a remote's name and a colon (accept:KEY_OK), any
// other name in double quotes ("ch/up", "1", "tv:ch/up"; \" and \\ within), and scancodes
// (scan:0x800f0422). Appends them to keys; returns the problem, or empty.
std::string ParseKeyList(std::string_view word, std::vector<Key>& keys);

// The keys as ParseKeyList reads them back, joined by commas: a name bare when bare it
// reads back as the same name, else in quotes.
std::string KeyListText(const std::vector<Key>& keys);

// Each key of a key list as its words spell it ("0x60" and 96 are one key), by key: how a
// writer keeps the spelling of a list it rewrites. A piece that does not read as one key
// is left out.
std::map<Key, std::string> KeySpellings(std::string_view list);
