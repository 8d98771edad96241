#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keymap/key_map.h"
#include "options/command_line.h"
#include "program/program_command.h"
#include "program/start_output.h"

// Every command of the program, made anew: the window, --console, --learn, --find-port and
// --print-keys, in the order CommandLine::Parse takes them (a later one asked for is what
// is done) and --help lists their usage.
std::vector<std::unique_ptr<ProgramCommand>> ProgramCommands();

// The program's command line (CommandLine::Parse with every command of the program).
CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::string& settings = {});
// What --help says.
std::string ProgramHelp();

// What both programs (the Qt one and the Windows one) do before they open a window or a
// console: the commands that end the program (a usage error, help, version, --print-keys,
// --find-port, --learn), and for the ones that run, the key sources checked (one that can
// never be the receiver is refused) and the key map read into keys. Returns the exit
// status when the program is done, none when it is to run. Finding a port and learning
// speak to the console themselves.
std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys,
                                const StartOutput& output = StartOutput::Standard());
