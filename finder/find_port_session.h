#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "finder/port_finder.h"
#include "finder/remote_candidates.h"

// Keeps a found port or source for the runs to come, in the settings file.
struct PortKeeping {
    // Where it is kept, for the question; and the file to add the line to when save is
    // empty.
    std::string where;
    // Keeps value as setting ("port", "lircd", "input"): beside the sources kept there (add),
    // or in place of them; false, with problem said, when it could not. Empty: the user is
    // told the line to add instead.
    std::function<bool(const std::string& setting, const std::string& value, bool add,
                       std::string& problem)>
        save;
    // Whether the file is there, and whether it names key sources (whose place a found one
    // may take).
    bool exists = false;
    bool sources = false;
};

// Where a key press was found: the setting that keeps it, and its value there ("port" and
// the port by its stable name). Empty when nothing was found.
struct FoundRemote {
    std::string setting;
    std::string value;
};

// A line the user typed, as an answer; none at the end of typing.
using AnswerReader = std::function<std::optional<std::string>()>;

// The terminal a search talks with.
struct FinderTerminal {
    std::ostream& out;
    std::ostream& err;
    // The answer to the question, read only when ask: typing is at a terminal.
    AnswerReader answer;
    bool ask = false;
    // Standard output is a terminal: the wait counts down on its line.
    bool countdown = false;
};

// The search as the user sees it (--find-port, and --learn without a source): listens on
// candidates (the machine's serial ports when there are none) and on others, says which
// cannot be used, asks for any key (counting down on a terminal), says where it arrived (a
// port by its stable name) and offers to keep that beside the sources kept already, or in
// their place; else says the line to add by hand. After a time-out, says what to try next.
FoundRemote FindPortSession(const std::vector<std::string>& candidates,
                            const std::vector<RemoteCandidate>& others,
                            const FinderTerminal& terminal, const PortKeeping& keeping,
                            std::chrono::milliseconds limit = PortFinder::KeyLimit);
