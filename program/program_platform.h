#pragma once

#include <exception>
#include <optional>
#include <string>

#include "options/command_line.h"
#include "program/key_map_reloader.h"
#include "program/start_output.h"
#include "receiver/ir_thread.h"

// What a platform's program does its own way inside RunProgram. Called on the thread that
// runs RunProgram (the UI thread).
class ProgramPlatform {
  public:
    virtual ~ProgramPlatform() = default;

    // Where the start's own messages go (the commands', the refusals').
    virtual StartOutput Output() { return StartOutput::Standard(); }
    // The command line is read. text: the user chose text (--console, or a command of the
    // terminal: --learn, --find-port), so nothing may wait on a window. The exit status
    // when the command cannot be done here (an interactive one without a console).
    virtual std::optional<int> Starting(const CommandLine& /*options*/, bool /*text*/) {
        return std::nullopt;
    }
    // The program ends before running, with status: what it said was said.
    virtual void StartEnded(int /*status*/) {}
    // The player the receiver commands, as the options ask.
    virtual IRThread::PlayerFactory Player(const CommandLine& options) = 0;
    // Readies what the window needs; the exit status when there can be no window.
    virtual std::optional<int> PrepareWindow() { return std::nullopt; }
    // The window with its receiver and its loop, until the user ends it (the quit signal
    // ends it too); the exit status.
    virtual int RunWindow(const CommandLine& options, const IRThread::PlayerFactory& player,
                          KeyMapReloader& keys) = 0;
    // An exception ended the console or the window: says why (its message; none when it
    // was not a std::exception), over the window when it was there.
    virtual void Escaped(const std::optional<std::string>& message, bool window) = 0;
};

// Runs what may throw; an exception is said (over the window, with window), and ends the
// program with status 1.
template <typename Run>
int Reported(ProgramPlatform& platform, bool window, const Run& run) {
    try {
        return run();
    } catch (const std::exception& error) {
        platform.Escaped(error.what(), window);
    } catch (...) {
        platform.Escaped(std::nullopt, window);
    }
    return 1;
}
