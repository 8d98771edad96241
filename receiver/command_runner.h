#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/child_command.h"
#include "platform/event_loop.h"

// Runs the commands that keys are bound to (Run), within bounds, so that a held key or a
// stream of bytes on the port cannot start hundreds of shells: a command does not start
// again while it still runs (the key is skipped, said once per run that blocks it), and
// at most MostPerSecond commands start in any second across all bindings (said once per
// spell). A command that cannot start, or ends badly, is said with the reason in the
// lcRemote log: one that ends badly as soon as it ends, its end (EndHandle) watched on the
// receiver's loop, which reaps it; without a loop, or a handle, at the next Run. Used from
// one thread only: the receiver's.
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
    // Stops watching the commands that still run, which are left to run on.
    ~CommandRunner();
    CommandRunner(const CommandRunner&) = delete;
    CommandRunner& operator=(const CommandRunner&) = delete;

    // From now on each command's end is watched on loop, and it is reaped as it ends.
    void Attach(EventLoop& loop);

    // Starts command unless the bounds hold it back; what happened is also said in the log.
    Outcome Run(const std::string& command);
    // Why the last Run that did not give Started did not start its command, for the user.
    const std::string& WhyNotStarted() const { return whyNotStarted_; }

  private:
    struct Running {
        std::unique_ptr<ChildCommand> child;
        bool saidSkipped = false;
        std::unique_ptr<EventLoop::Watch> end;  // its end, watched on the loop
    };

    // Watches the command's end on the loop, where there is a loop and a handle.
    void Watch(const std::string& command, Running& running);
    // Forgets the commands that have ended, saying how any ended badly.
    void Reap();

    Starter start_;
    Clock clock_;
    EventLoop* loop_ = nullptr;
    // By command: a binding's command.
    std::map<std::string, std::unique_ptr<Running>> running_;
    std::deque<std::chrono::steady_clock::time_point> starts_;  // within the last second
    bool saidTooMany_ = false;
    std::string whyNotStarted_;
};
