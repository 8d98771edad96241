#pragma once

#include <chrono>

#include "receiver/event_clock.h"
#include "receiver/key_map.h"

// Decides, event by event, whether a key's bound action is carried out: a press always, a
// held key's repeat as its binding's HoldShape says. A hold is a run of repeats of one code
// with no gap over HoldGap between them and no press in between; it is held from the press
// of that code just before it (when its first repeat came within HoldGap of the press), or
// else from its first repeat. Every event goes through Admit in order, acted on or not, so
// that a press or a gap ends a hold. Used on one thread.
class HoldShaper {
  public:
    static constexpr std::chrono::milliseconds HoldGap{250};

    // True when the event's action is to be carried out. held: a repeat (RepeatPrefix);
    // code any byte value or -1; hold the repeat's shape; at when its bytes arrived.
    bool Admit(bool held, int code, const HoldShape& hold, EventClock::TimePoint at);

  private:
    // The press that may begin the next hold.
    bool pressOpen_ = false;
    int pressCode_ = 0;
    EventClock::TimePoint pressAt_{};
    // The hold under way.
    bool holding_ = false;
    int holdCode_ = 0;
    EventClock::TimePoint heldFrom_{};
    EventClock::TimePoint lastRepeat_{};
    int passed_ = 0;   // repeats of this hold past its delay
    int nextAct_ = 0;  // which of them acts next (1 for the first); 0 for none
    int step_ = 1;     // repeats between acts
};
