#pragma once

#include <cstddef>
#include <string>

// How much of a report a message box may show and still fit a small screen.
struct BoxLimits {
    std::size_t lines = 12;     // lines shown, "…and N more" included
    std::size_t columns = 160;  // bytes of a line kept; a cut line ends in "…"
};

// text as a message box can show it: text itself when it fits, else its first lines (each
// cut at a character's boundary to the width), "…and N more" for the lines left out, and
// then, after an empty line, whereAll (where the whole text can be read). Plain text, so
// it is tested on every platform.
std::string FitForBox(const std::string& text, const std::string& whereAll,
                      const BoxLimits& limits = {});
