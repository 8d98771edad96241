#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/child_command.h"

// Runs the commands that keys are bound to (Run), within bounds, so that a held key or a
// stream of bytes on the port cannot start hundreds of shells: a command does not start
// again while it still runs (the key is skipped, said once per run that blocks it), and
// at most MostPerSecond commands start in any second across all bindings (said once per
// spell). A command that cannot start, or ends badly, is said with the reason. One
// thread only: the receiver's.
class CommandRunner {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    using Starter = std::function<std::unique_ptr<ChildCommand>(const std::string& command,
                                                                std::string& error)>;

    static constexpr int MostPerSecond = 4;

    enum class Outcome { Started, StillRunning, TooMany, Failed };

    explicit CommandRunner(Starter start = StartChildCommand,
                           Clock clock = std::chrono::steady_clock::now)
        : start_(std::move(start)), clock_(std::move(clock)) {}

    // Starts command unless the bounds hold it back; what happened is also said in the log.
    Outcome Run(const std::string& command);

  private:
    struct Running {
        std::unique_ptr<ChildCommand> child;
        bool saidSkipped = false;
    };

    // Forgets the commands that have ended, saying how any ended badly.
    void Reap();

    Starter start_;
    Clock clock_;
    std::map<std::string, Running> running_;                    // by command: a binding's command
    std::deque<std::chrono::steady_clock::time_point> starts_;  // within the last second
    bool saidTooMany_ = false;
};
