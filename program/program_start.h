#pragma once

#include <optional>

#include "program/command_line.h"
#include "receiver/key_map.h"

// What both programs (the Qt one and the Windows one) do before they open a window or a
// console: print what the command line asked for, refuse a port that can never be the
// receiver, learn a remote's keys, read the key map into keys. Returns the exit status
// when the program is done, none when it is to run.
std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys);
