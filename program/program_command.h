#pragma once

#include <optional>

#include "keymap/key_map.h"
#include "options/verb.h"
#include "program/program_platform.h"
#include "program/start_output.h"

// A verb of the program (the window, --console, --learn, --find-port, --print-keys): its
// options, its lines in --help (Verb), and what it does. One is made for each run.
class ProgramCommand : public Verb {
  public:
    // Whether the user chose text with it (the console, a command of the terminal), so
    // nothing may wait on a window; none when --console given beside it says so.
    virtual std::optional<bool> Text() const { return std::nullopt; }
    // Whether it runs the receiver (whose map a hang-up reloads).
    virtual bool Receives() const { return false; }
    // What it does before a window or a console opens: the exit status when it is done,
    // none when the receiver is to run, with keys the map it is to run with.
    virtual std::optional<int> Start(const CommandLine& options, KeyMap& keys,
                                     const StartOutput& output) = 0;
    // The receiver, once Start left it to run, until it ends; the exit status.
    virtual int Run(const CommandLine& /*options*/, ProgramPlatform& /*platform*/,
                    const IRThread::PlayerFactory& /*player*/, KeyMapReloader& /*keys*/) {
        return 0;
    }
};
