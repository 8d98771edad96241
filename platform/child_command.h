#pragma once

#include <memory>
#include <string>

#include "platform/event_loop.h"

// A command of the user's started as a child of ours, so that the program knows when it
// has ended. Through /bin/sh -c on POSIX, with standard input, output and error on
// /dev/null and a session of its own; on Windows as one command line, without a shell or
// a console, prepared as WindowsCommandLine says.
class ChildCommand {
  public:
    virtual ~ChildCommand() = default;

    // Whether it still runs, without waiting. Once it has ended (and been reaped), false,
    // with ended set to why it ended badly ("ended with status 127 (not found)"), or
    // empty when it ended well.
    virtual bool Running(std::string& ended) = 0;
    // A handle an EventLoop can watch, ready once it has ended (Running then reaps it): a
    // pidfd on Linux, the process handle on Windows. None (-1, null) where there is none (a
    // kernel before 5.3): then only Running tells.
    virtual EventLoop::Handle EndHandle() const = 0;
};

// Starts command; null, with error set to the reason, when it could not be started (the
// fork failed, or the exec, whose errno comes back through a close-on-exec pipe; on
// Windows, the system's own text for why it did not start).
std::unique_ptr<ChildCommand> StartChildCommand(const std::string& command, std::string& error);

// Why command would be refused as written, or empty: on Windows what WindowsCommandLine
// refuses, the files being as they are now; nothing on POSIX, where the shell reads it.
std::string ChildCommandProblem(const std::string& command);
