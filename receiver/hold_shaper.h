#pragma once

#include <chrono>
#include <optional>

#include "keymap/key_map.h"
#include "receiver/event_clock.h"
#include "receiver/hold_tracker.h"
#include "source/key.h"

// Where an event stood in its source's queue (KeyEvent's queued and more).
struct QueuePlace {
    bool queued = false;
    bool more = false;
};

// Decides, event by event, whether a key's bound action is carried out: a press always, a
// held key's repeat as its binding's HoldShape says, counted over the hold the tracker
// says the repeat is part of (held from its press, or from its first repeat where the hold
// began without one). Every event goes through Admit in order, acted on or not, right
// after the tracker took it. Used on one thread.
class HoldShaper {
  public:
    // How long after it came a repeat may still act, when it waited in the source behind a
    // player call: so a slow player can shorten a hold's effect but never draw it out.
    static constexpr std::chrono::milliseconds StaleAfter{400};

    explicit HoldShaper(const HoldTracker& holds) : holds_(holds) {}

    // True when the event's action is to be carried out. held: a repeat; key none for an
    // event whose key could not be read; hold the repeat's shape; at when it arrived. The
    // repeats that queued behind a player call act once at most, by the newest of them, and
    // only if they can have waited no longer than StaleAfter; else the act, if due, passes
    // to the hold's next repeat that did not wait, and goes when the hold ends.
    bool Admit(bool held, const std::optional<Key>& key, const HoldShape& hold,
               EventClock::TimePoint at, QueuePlace queue = {});
    // The player was called for the event just admitted: what queues meanwhile is behind it.
    void PlayerCalled() { calledSinceDrained_ = true; }

  private:
    // Whether the hold's shape has the repeat act (a press always acts).
    bool Due(bool held, const HoldTracker::Hold* now, const HoldShape& hold,
             EventClock::TimePoint at);

    const HoldTracker& holds_;
    // The hold under way, as far as its shape goes.
    int passed_ = 0;   // repeats of this hold past its delay
    int nextAct_ = 0;  // which of them acts next (1 for the first); 0 for none
    int step_ = 1;     // repeats between acts
    // An act of the hold's that a repeat with a newer event behind it passed on.
    bool owed_ = false;
    // The source's queue: when it was last seen empty, and whether the player has been
    // called since.
    EventClock::TimePoint drainedAt_{};
    bool calledSinceDrained_ = false;
};
