#pragma once

#include <string>
#include <utility>

#include "actions/player_link.h"
#include "history/history_log.h"
#include "remote/command_runner.h"
#include "remote/event_clock.h"
#include "remote/hold_shaper.h"
#include "remote/shared_key_map.h"
#include "source/key_source.h"

// The history's one writer: turns what a key source gives into history lines, and keys
// into what they are bound to: the player's actions through the player link, a command of
// the user's (run) started within CommandRunner's bounds. Every event's line is shown; what a held
// key does is shaped by its binding (HoldShaper), timed by clock when the event arrived. Used on
// the receiver thread only.
class SignalCycle {
  public:
    static constexpr const char* WaitingText = "Waiting for new signal...";
    // A setup step of the source that failed, at start.
    static constexpr const char* ConfigErrorText = "Err";
    // A read that failed; the "-1" of the failed read follows it.
    static constexpr const char* ReadErrorText = "COM READ ERROR!";
    // A run key whose command could not be started, in place of its own text.
    static constexpr const char* RunFailedText = "RUN FAILED!";

    // keys is read once per event, so a reload applies from the next event on. start
    // starts run's commands.
    SignalCycle(KeySource& source, HistoryLog& history, PlayerLink& player,
                const SharedKeyMap& keys, EventClock& clock = EventClock::Steady(),
                CommandRunner::Starter start = StartChildCommand)
        : source_(source),
          history_(history),
          player_(player),
          keys_(keys),
          clock_(clock),
          commands_(std::move(start)) {}

    // Opens the source, removes the window's greeting once the source is open (the greeting
    // stays while the window shows none), then sets the source up: one "Err" line, with
    // why, for each setup step that failed. So any "Err" lines come first in the history.
    void Start();

    // Runs passes until the source is stopped.
    void Run();

    // One pass: the waiting line, then one event, one stray byte or one failed read. False
    // once the source has been stopped.
    bool RunOnePass();

    // The text of the last event; empty before the first.
    const std::string& MessageText() const { return messageText_; }

  private:
    // The event's line and, when bound and admitted, its action.
    void Handle(const KeyEvent& event);

    KeySource& source_;
    HistoryLog& history_;
    PlayerLink& player_;
    const SharedKeyMap& keys_;
    EventClock& clock_;
    CommandRunner commands_;  // run's commands, one at a time each, a few a second
    HoldShaper shaper_;
    std::string messageText_;
};
