#pragma once

#include <functional>
#include <optional>
#include <string>

#include "keymap/key_map.h"
#include "options/command_line.h"

// Where StartProgram's own messages go: what is meant for standard output, and for
// standard error. Each call is a whole message (lines with their newlines). A program
// without a console (Windows, started from the desktop) collects them to show them itself.
struct StartOutput {
    std::function<void(const std::string&)> out;
    std::function<void(const std::string&)> err;

    // Standard output and standard error, unbuffered by us.
    static StartOutput Standard();
};

// What both programs (the Qt one and the Windows one) do before they open a window or a
// console: the commands that end the program (a usage error, help, version, --print-keys,
// --find-port, --learn), and for the ones that run, the port checked (one that can never
// be the receiver is refused) and the key map read into keys. Returns the exit status when
// the program is done, none when it is to run. Finding a port and learning speak to the
// console themselves.
std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys,
                                const StartOutput& output = StartOutput::Standard());
