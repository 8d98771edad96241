#pragma once

#include <cstddef>
#include <functional>
#include <string>

// Where the start's own messages go: what is meant for standard output, and for standard
// error. Each call is a whole message (lines with their newlines). A program without a
// console (Windows, started from the desktop) collects them to show them itself.
struct StartOutput {
    // How much of a line of ours around a path or a line of a file is shown: longer than
    // one untrusted piece.
    static constexpr std::size_t LineLimit = 1000;

    std::function<void(const std::string&)> out;
    std::function<void(const std::string&)> err;

    // Standard output and standard error, unbuffered by us.
    static StartOutput Standard();
};
