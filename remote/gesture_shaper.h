#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "remote/event_clock.h"
#include "remote/key_map.h"
#include "source/key.h"

// Tells a key's tap, double tap and long press apart (Gestures), one gesture at a time:
// the key's press waits until the gesture is decided, and exactly one of the three acts.
// A double is a second press within the gap from the first; a long press a hold past the
// delay, decided at the delay. A hold ends at a release, where the source gives one, or
// HoldGap after the last repeat; a tap is decided when its hold ends before the delay and
// no double can follow any more. A press of another key decides the waiting gesture at
// once, as a tap. Keys without gestures pass through untouched, with no delay. Times are
// the event clock's, so tests set them. Used on one thread.
class GestureShaper {
  public:
    static constexpr std::chrono::milliseconds HoldGap{250};

    // The source says when each key goes up: a hold then ends at its release alone, not
    // at a pause in its repeats (the kernel's first repeat may come 500 ms after the press).
    void GivesReleases(bool gives) { releases_ = gives; }

    // When Expire must next be called; none while nothing waits on the time.
    std::optional<EventClock::TimePoint> Deadline() const;
    // Adds to decided what time has decided by at.
    void Expire(EventClock::TimePoint at, std::vector<GestureAction>& decided);
    // A press or a repeat (held) of key, with the key's gestures where it has any. Adds to
    // decided what the event decides (in order: a waiting gesture's first). True when the
    // event's own binding acts as usual; false when the gesture takes the event.
    bool Event(bool held, const Key& key, const std::optional<Gestures>& gestures,
               EventClock::TimePoint at, std::vector<GestureAction>& decided);
    // The key went up.
    void Release(const Key& key, EventClock::TimePoint at, std::vector<GestureAction>& decided);

  private:
    enum class Phase {
        Idle,
        Down,   // pressed, with a long binding: held until the delay, or not
        Gap,    // up, or without a long binding: a second press may still come
        Spent,  // decided; what is left of the hold is the gesture's
    };
    void Start(const Key& key, const Gestures& gestures, EventClock::TimePoint at);
    // Decides the waiting gesture as its tap.
    void Tap(std::vector<GestureAction>& decided);
    void Decide(const std::optional<GestureAction>& action, std::vector<GestureAction>& decided);
    // Whether a double may still come at at.
    bool TwiceOpen(EventClock::TimePoint at) const;

    bool releases_ = false;
    Phase phase_ = Phase::Idle;
    std::optional<Key> key_;
    Gestures gestures_;
    EventClock::TimePoint pressAt_{};
    EventClock::TimePoint lastSeen_{};  // the press or the last repeat
};
