#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "keymap/key_map_document.h"

// A key with a held binding and no key binding in the same section: a single press of it
// does nothing but show it (while the section is in force: a key bound there falls through
// in none of its kinds). No mistake, since a key may be meant to act only held, but seldom
// what was meant: a note, said once where the map is read, in the keys window and by
// --learn.

// row's note, without "source:LINE: "; empty when it is no held binding of such keys.
// map: the map its document makes.
std::string HeldAloneNote(const KeyMapDocument::Row& row, const KeyMap& map);

// Every note of document, "source:LINE: note: what" (LINE counted from 1), in the order of
// its lines.
std::vector<std::string> HeldAloneNotes(const KeyMapDocument& document, std::string_view source);
