#pragma once

#include <string>

#include "history/history_log.h"
#include "player/player_link.h"
#include "receiver/byte_source.h"
#include "receiver/event_clock.h"
#include "receiver/hold_shaper.h"
#include "receiver/key_map.h"
#include "receiver/shared_key_map.h"

// The endless loop that turns the receiver's byte stream into history lines and what the
// keys are bound to (keys, the receiver's own remote by default). It ends only when the
// byte source reports Stopped. Every event's line is shown; what a held key does is shaped
// by its binding (HoldShaper), timed by clock when the event's last byte has been read.
class SignalCycle {
  public:
    static constexpr const char* WaitingText = "Waiting for new signal...";

    SignalCycle(ByteSource& source, HistoryLog& history, PlayerLink& player,
                const KeyMap& keys = KeyMap::Standard(), EventClock& clock = EventClock::Steady())
        : source_(source), history_(history), player_(player), keys_(&keys), clock_(clock) {}
    // With a map that may be replaced while the cycle runs: read once per event.
    SignalCycle(ByteSource& source, HistoryLog& history, PlayerLink& player,
                const SharedKeyMap& keys, EventClock& clock = EventClock::Steady())
        : source_(source), history_(history), player_(player), shared_(&keys), clock_(clock) {}

    // Runs passes until the source is stopped.
    void Run();

    // One pass: the waiting line, then one event or one stray byte. False once the
    // source has been stopped.
    bool RunOnePass();

    // The text of the last two-byte event; empty before the first.
    const std::string& MessageText() const { return messageText_; }

  private:
    ByteSource& source_;
    HistoryLog& history_;
    PlayerLink& player_;
    const KeyMap* keys_ = nullptr;
    const SharedKeyMap* shared_ = nullptr;  // instead of keys_
    EventClock& clock_;
    HoldShaper shaper_;
    std::string messageText_;
};
