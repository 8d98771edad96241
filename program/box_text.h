#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <string>

// How much of a report a message box may show and still fit a small screen.
struct BoxLimits {
    std::size_t lines = 12;     // lines shown, "…and N more" included
    std::size_t columns = 160;  // bytes of a line kept; a cut line ends in "…"
    // The rows of text the box has room for on the screen, and how many rows a line takes
    // there once the box has wrapped it (none: one each).
    std::size_t rows = std::numeric_limits<std::size_t>::max();
    std::function<std::size_t(const std::string& line)> rowsOf;
};

// text as a message box can show it: text itself when it fits, else its first lines (each
// cut at a character's boundary to the width), "…and N more" for the lines left out, and
// then, after an empty line, whereAll (where the whole text can be read), all of it within
// the rows. Plain text, so it is tested on every platform.
std::string FitForBox(const std::string& text, const std::string& whereAll,
                      const BoxLimits& limits = {});
