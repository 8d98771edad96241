#pragma once

#include <optional>
#include <string>
#include <vector>

// What the virtual receiver sends: bytes, each group after a pause.
struct ScriptStep {
    int delayMs = 0;                   // pause before the bytes go out
    std::vector<unsigned char> bytes;  // may be empty for a bare "wait"
};

struct ParsedScript {
    std::vector<ScriptStep> steps;
    std::string error;  // empty when the words were understood
};

// Turns event words into byte steps the way the real receiver sends them:
//   play prev next vol+ vol-    one key press
//   hold KEY N                  a press, then N repeat events about 110 ms apart
//   raw B ...                   bytes as given (0x91, 145 ...)
//   wait MS                     a pause
// A word that is not understood makes the whole script fail with an error naming it,
// so nothing is sent for a half-understood line.
ParsedScript ParseReceiverScript(const std::vector<std::string>& words);

// Splits a line into words on blanks; "#" starts a comment that runs to the line's end.
std::vector<std::string> SplitWords(const std::string& line);

// Gap between repeat events of a held key.
inline constexpr int HoldRepeatMs = 110;
