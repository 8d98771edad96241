#include "program/box_text.h"

#include <algorithm>
#include <vector>

namespace {

constexpr const char* Ellipsis = "\xE2\x80\xA6";  // …

bool ContinuesCharacter(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::string FitForBox(const std::string& text, const std::string& whereAll,
                      const BoxLimits& limits) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    bool cut = false;
    for (std::string& line : lines) {
        if (line.size() > limits.columns) {
            std::size_t keep = limits.columns;
            while (keep > 0 && ContinuesCharacter(line[keep])) {
                --keep;
            }
            line = line.substr(0, keep) + Ellipsis;
            cut = true;
        }
    }
    const auto rowsOf = [&](const std::string& line) {
        return limits.rowsOf ? std::max<std::size_t>(limits.rowsOf(line), 1) : 1;
    };
    const auto more = [&](std::size_t shown) {
        return std::string(Ellipsis) + "and " + std::to_string(lines.size() - shown) + " more";
    };
    // "…and 1 more" would take the line it stands for.
    std::size_t shown =
        lines.size() > limits.lines && limits.lines > 0 ? limits.lines - 1 : lines.size();
    std::size_t linesRows = 0;
    for (std::size_t i = 0; i < shown; ++i) {
        linesRows += rowsOf(lines[i]);
    }
    // The rows taken with the first shown lines, which take linesRows.
    const std::size_t whereRows = 1 + rowsOf(whereAll);
    const auto height = [&](std::size_t shown, std::size_t linesRows) {
        if (shown < lines.size()) {
            return linesRows + rowsOf(more(shown)) + whereRows;
        }
        return cut ? linesRows + whereRows : linesRows;
    };
    while (shown > 0 && height(shown, linesRows) > limits.rows) {
        linesRows -= rowsOf(lines[--shown]);
    }
    if (!cut && shown == lines.size()) {
        return text;
    }
    std::string fitted;
    for (std::size_t i = 0; i < shown; ++i) {
        fitted += lines[i] + "\n";
    }
    if (shown < lines.size()) {
        fitted += more(shown) + "\n";
    }
    return fitted + "\n" + whereAll;
}
