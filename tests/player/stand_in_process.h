#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/player/child_process.h"

class PrivateBus;

// What the stand-in player calls itself and reports.
struct StandInSetup {
    std::string name;  // bus name suffix: owns org.mpris.MediaPlayer2.<name>
    std::string identity = "Stand-In";
    std::string status = "Paused";  // PlaybackStatus at start
    double volume = 0.5;
    bool replies = true;  // false: records PlayPause, Previous and Next but never answers
};

// A request the stand-in received: a command ("PlayPause", "Volume 0.5500"), or a property
// read ("? PlaybackStatus"); and when it arrived (CLOCK_MONOTONIC, ns).
struct StandInRequest {
    std::string text;
    std::int64_t atNs = 0;
};

// The stand-in MPRIS player (quorvel_mpris_stand_in) as a child process on a private bus,
// so it can be killed, restarted and frozen (SIGSTOP) like a real player. One thread at a
// time.
class StandInProcess {
  public:
    StandInProcess(const PrivateBus& bus, StandInSetup setup);
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    // Starts it and waits until it owns its bus name.
    bool Start();
    // Ends it at once (SIGKILL) and waits until the bus has dropped its name.
    bool Kill();
    // A frozen player takes in nothing and answers nothing.
    void Freeze();
    // Thaws it and waits until it has dealt with everything sent to it while frozen.
    bool Thaw();

    // The player does something by itself ("Play", "Pause"), as when its own window is
    // used; recorded as a command like any other. False if it did not answer.
    bool Do(const std::string& method);

    std::string BusName() const;
    // Every command recorded so far, taking in what is already in the pipe: a command is
    // recorded before it is answered, so it is here once the call has returned.
    std::vector<std::string> Calls();
    // Waits until at least count commands were recorded or a generous deadline passed,
    // then returns every command recorded so far.
    std::vector<std::string> WaitForCalls(std::size_t count);
    // Every request so far, property reads included.
    std::vector<StandInRequest> Requests();
    // The command with this index, once it has arrived; none after timeout.
    std::optional<StandInRequest> WaitForCall(std::size_t index, std::chrono::milliseconds timeout);

  private:
    void Take();

    const PrivateBus& bus_;
    StandInSetup setup_;
    // Started afresh by each Start; what earlier runs recorded is kept.
    std::optional<ChildProcess> process_;
    std::size_t taken_ = 0;  // lines of the current run already taken
    bool ready_ = false;
    std::vector<StandInRequest> requests_;
    std::vector<std::size_t> calls_;  // indexes into requests_ of the commands
};
