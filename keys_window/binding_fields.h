#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "keymap/key_map_document.h"
#include "keys_window/keys_view.h"

// What the keys window's fields and table say, in the file's words, without a window:
// the boxes' choices, a binding read from the fields and written into them, the fields a
// binding needs, and the table's lines. Plain functions of their arguments.
namespace binding_fields {

// The choices of the key, gesture and action boxes, each with its value.
std::vector<std::string> KeyChoices();
std::vector<std::pair<std::string, KeyMap::Kind>> GestureChoices();
std::vector<std::pair<std::string, int>> ActionChoices();

// A section as the section box names it: "Defaults", or its header.
std::string SectionTitle(const KeySection& section);
// The section a box's text names ("Defaults", "[player=vlc]" or "player=vlc"); the
// problem, or empty.
std::string SectionOf(std::string_view text, KeySection& section);

// The binding the fields say; why it does not read, or empty.
KeyMap::Line BindingOf(const KeysView::Fields& fields, std::string& why);
// fields with row's binding (which it must have) in them, its keys as the file spells them.
KeysView::Fields WithRow(KeysView::Fields fields, const KeyMapDocument::Row& row);
// The fields the gesture and the action need.
KeysView::Needed NeededBy(const KeysView::Fields& fields);
// The table's lines: a heading for the defaults and each section with the rows of the file
// under it, then one for the built-in bindings the file leaves out with those; only the
// rows search finds (KeyMapDocument::Matches).
std::vector<KeysView::TableLine> TableOf(const KeyMapDocument& document, std::string_view search);

}  // namespace binding_fields
