#pragma once

#include <string>

#include "history/history_log.h"
#include "player/player_link.h"
#include "receiver/byte_source.h"
#include "receiver/key_map.h"

// The endless loop that turns the receiver's byte stream into history lines and what the
// keys are bound to (keys, the receiver's own remote by default). It ends only when the
// byte source reports Stopped.
class SignalCycle {
  public:
    static constexpr const char* WaitingText = "Waiting for new signal...";

    SignalCycle(ByteSource& source, HistoryLog& history, PlayerLink& player,
                const KeyMap& keys = KeyMap::Standard())
        : source_(source), history_(history), player_(player), keys_(keys) {}

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
    const KeyMap& keys_;
    std::string messageText_;
};
