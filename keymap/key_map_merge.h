#pragma once

#include <string>

#include "keymap/key_map.h"
#include "keymap/key_map_document.h"

// Learnt keys added to a key map, as --learn keeps the user's map. Each line of learnt (the
// defaults' key and held lines, one per action and kind) takes the place of the defaults'
// lines of its kind that bind its action: the first of them keeps its place, its comment,
// the action's arguments and its options, with the keys learnt; the others go (none: the
// line is added at the end of the defaults). A key learnt that another line of the defaults
// binds in the same kind is taken from that line, which goes once it has no key left: the
// caller asks the user first (BoundElsewhere). Every other line, section and comment stays
// as it was. Empty when done, else why not (the document is then as far as it got).
std::string MergeLearnt(KeyMapDocument& document, const KeyMap& learnt);

// What map (the defaults) binds key to in kind when it is not action: "mute", "nothing";
// empty when key is free there or bound to action.
std::string BoundElsewhere(const KeyMap& map, KeyMap::Kind kind, const Key& key,
                           PlayerAction action);
