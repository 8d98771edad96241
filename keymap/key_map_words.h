#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "keymap/key_map.h"

// The words of a key map line, as its reader and writer take them apart.
namespace key_map_words {

// Blanks between words; a CR is one, so a CR LF file reads as an LF one.
inline constexpr std::string_view Blanks = " \t\r";
// The action word that binds a key to no action.
inline constexpr std::string_view Nothing = "nothing";

std::string_view Trimmed(std::string_view text);
// The next word of rest, taken off its front; empty at the end or at a comment. With
// quotes, what is within double quotes (a key's name, \" and \\ escaped) is of the word,
// blanks and all.
std::string_view NextWord(std::string_view& rest, bool quotes = false);
// word as a number from low to high, decimal or 0x hex; none otherwise.
std::optional<int> Number(std::string_view word, int low, int high);
// The word a line of each kind starts with, by KeyMap::Kind.
inline constexpr std::array<std::string_view, 4> KindWords = {"key", "held", "double", "long"};
inline std::string_view KindWord(KeyMap::Kind kind) {
    return KindWords[static_cast<std::size_t>(kind)];
}
// The kind whose lines start with word; none for any other word.
std::optional<KeyMap::Kind> KindNamed(std::string_view word);
// The one option of a double line (gap=) or a long line (delay=), by the line's kind.
inline std::string_view TimingOption(KeyMap::Kind kind) {
    return kind == KeyMap::Kind::Double ? "gap=" : "delay=";
}
// How many letters must change to make a into b (Levenshtein).
std::size_t EditDistance(std::string_view a, std::string_view b);
// A run command up to a comment: a "#" that starts a word outside quotes ends the line,
// as it does everywhere else in the file, so a note after the command never reaches it.
std::string_view WithoutComment(std::string_view command);
// A mode's name, as a mode action and a section's header take it: letters of any script,
// digits, _ - . (each byte of a character beyond ASCII counts as a letter's).
bool IsModeName(std::string_view word);
// Why word is no mode's name, as the reader says it.
std::string NotAModeName(std::string_view word);
// A section's header, "[mode=NAME player=GLOB]" with either or both, read into section;
// the problem, or empty.
std::string ParseSection(std::string_view line, KeySection& section);

}  // namespace key_map_words
