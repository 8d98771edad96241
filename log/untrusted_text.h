#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text from outside the program (a player's Identity, a bus name, a key map's line, a
// path, an error from the bus) made safe to print on a terminal or into the journal: a
// control character cannot move the cursor, retitle the terminal or start a line of its
// own, and a huge text cannot make a huge line.
//
// Tab, newline and carriage return become \t \n \r; any other byte below 0x20, 0x7f, a
// C1 control (U+0080..U+009F) and a byte that is not part of valid UTF-8 become \xNN.
// Printable UTF-8 is kept. After limit characters (each escape counting as one) the rest
// is cut and "…" added.
std::string UntrustedText(std::string_view text, std::size_t limit = 200);
