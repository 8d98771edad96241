#pragma once

#include <functional>
#include <optional>
#include <string>

// A bound command made ready to start on Windows, where it runs as one command line without
// a shell: %NAME% is replaced by the environment variable NAME (left as written when it is
// not set, as cmd does), and the program is the first word, or the text between the first
// pair of double quotes. CreateProcess takes an unquoted path's first word, then its first
// two words and so on, whichever names a file first ("C:\Program.exe" for "C:\Program
// Files\..."), and starts that file whatever it is, so a path with spaces must be quoted: an
// unquoted path that more words follow is refused unless its first word names a program (a
// file with an extension PATHEXT names, or without one, the .exe added to it) and no longer
// run of its words could be meant instead: none names a file or a folder (a run up to any
// \ or / after the first word, "C:\Program Files", too) and, when the first word is not
// named as a program file, none ends in a program's extension. A bare name (no \, / or :) is
// searched for as written, unless a longer run of its words names a file or a folder, which
// is refused as a guess too. Plain text and an injected look at the files, so it is tested
// on every platform.
struct WindowsCommandLine {
    using Environment = std::function<std::optional<std::string>(const std::string& name)>;
    enum class Found { Nothing, File, Folder };
    // What path names.
    using Look = std::function<Found(const std::string& path)>;

    std::string line;     // what to start, variables expanded
    std::string problem;  // why it cannot start; empty when line may be started

    static WindowsCommandLine Prepare(const std::string& command, const Environment& environment,
                                      const Look& look);
};
