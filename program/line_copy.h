#pragma once

#include <string>

// What the history's Copy puts on the clipboard for a line: the line as shown, but a held
// key's line without the RepeatText before its code. The copy is for a key map or the keys
// window, which name a key by its code alone, held or not.
std::string CopiedLine(const std::string& line);
