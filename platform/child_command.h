#pragma once

#include <memory>
#include <string>

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
    // Whether AwaitEnd can tell of its end; where not, only Running tells.
    virtual bool CanAwaitEnd() const = 0;
    // Blocks until it has ended (true; Running then reaps it) or StopAwaiting is called
    // (false, and at once from then on).
    virtual bool AwaitEnd() = 0;
    // Safe from any thread: ends AwaitEnd's wait.
    virtual void StopAwaiting() = 0;
};

// Starts command; null, with error set to the reason, when it could not be started (the
// fork failed, or the exec, whose errno comes back through a close-on-exec pipe; on
// Windows, the system's own text for why it did not start).
std::unique_ptr<ChildCommand> StartChildCommand(const std::string& command, std::string& error);

// Why command would be refused as written, or empty: on Windows what WindowsCommandLine
// refuses, the files being as they are now; nothing on POSIX, where the shell reads it.
std::string ChildCommandProblem(const std::string& command);
