#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "platform/child_command.h"

// Runs the commands that keys are bound to (Run), within bounds, so that a held key or a
// stream of bytes on the port cannot start hundreds of shells: a command does not start
// again while it still runs (the key is skipped, said once per run that blocks it), and
// at most MostPerSecond commands start in any second across all bindings (said once per
// spell). A command that cannot start, or ends badly, is said with the reason in the
// lcRemote log: one that ends badly as soon as it ends, by a small thread per running
// command that awaits its end and reaps it. Used from one thread only: the receiver's.
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
    // Stops awaiting the commands that still run, which are left to run on.
    ~CommandRunner();
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // Starts command unless the bounds hold it back; what happened is also said in the log.
    Outcome Run(const std::string& command);
    // Why the last Run that did not give Started did not start its command, for the user.
    const std::string& WhyNotStarted() const { return whyNotStarted_; }

  private:
    enum class Watch { Awaiting, Ended, NotAwaited };
    struct Running {
        std::unique_ptr<ChildCommand> child;
        bool saidSkipped = false;
        std::atomic<Watch> watch{Watch::Awaiting};
        std::thread awaiter;  // reaps and reports the command as it ends
    };

    // Forgets the commands that have ended, saying how any ended badly.
    void Reap();

    Starter start_;
    Clock clock_;
    // By command: a binding's command.
    std::map<std::string, std::unique_ptr<Running>> running_;
    std::deque<std::chrono::steady_clock::time_point> starts_;  // within the last second
    bool saidTooMany_ = false;
    std::string whyNotStarted_;
};
