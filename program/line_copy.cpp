#include "program/line_copy.h"

#include <string_view>

#include "keymap/builtin_keys.h"

std::string CopiedLine(const std::string& line) {
    const std::string_view repeat = RepeatText;
    if (line.size() > repeat.size() && line.compare(0, repeat.size(), repeat) == 0) {
        return line.substr(repeat.size());
    }
    return line;
}
