#pragma once

#include <functional>
#include <optional>
#include <string>

// A bound command made ready to start on Windows, where it runs as one command line without
// a shell: %NAME% is replaced by the environment variable NAME (left as written when it is
// not set, as cmd does), and the program is the first word, or the text between the first
// pair of double quotes. A path with spaces must be quoted: an unquoted one is refused
// rather than guessed (CreateProcess would try "C:\Program.exe" first). Plain text, so it
// is tested on every platform.
struct WindowsCommandLine {
    using Environment = std::function<std::optional<std::string>(const std::string& name)>;

    std::string line;     // what to start, variables expanded
    std::string problem;  // why it cannot start; empty when line may be started

    static WindowsCommandLine Prepare(const std::string& command, const Environment& environment);
};
