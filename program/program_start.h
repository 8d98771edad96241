#pragma once

#include <functional>
#include <optional>
#include <string>

#include "program/command_line.h"
#include "receiver/key_map.h"

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
// console: print what the command line asked for, refuse a port that can never be the
// receiver, learn a remote's keys, read the key map into keys. Returns the exit status
// when the program is done, none when it is to run. Learning speaks to the console itself.
std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys,
                                const StartOutput& output = StartOutput::Standard());
