#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "keymap/key_map.h"
#include "receiver/event_clock.h"
#include "receiver/hold_tracker.h"
#include "source/key.h"
#include "source/key_reader.h"

// Tells a key's tap, double tap and long press apart (Gestures), one gesture at a time:
// the key's press waits until the gesture is decided, and exactly one of the three acts.
// A double is a second press within the gap from the first. A long press is a hold past
// the delay, as the tracker tells holds: decided at the delay when the key counts as held
// then (HoldTracker::HeldAt), else at its first repeat past the delay, if one comes before
// the hold ends. A tap is decided when the hold ends before the delay and no double can
// follow any more. A repeat never starts a press: once a gesture is decided (as a tap,
// for a key with a long binding), the repeats of its key that follow until a press or
// another key are its own, however long the pause (a reception dropout); and a gesture
// that began at a repeat, its press missed, ends as the long press or as nothing.
// A press of another key decides the waiting gesture at once, as a tap. Keys without
// gestures pass through untouched, with no delay. Times are the event clock's, so tests
// set them. Expire is called up to an event's time before the tracker takes the event,
// and Event or Release right after. Each gesture decided is told as it is decided, bound
// or not: a tap (of a gesture begun by a press) as a press, a double, a long press. Used on
// one thread.
class GestureShaper {
  public:
    // What became of the event.
    enum class Taken {
        No,     // its own binding acts as usual
        Began,  // it began a gesture
        Kept,   // the gesture under way took it
    };

    using Told = std::function<void(KeyReader::Gesture gesture, const Key& key)>;

    explicit GestureShaper(const HoldTracker& holds, Told told = {})
        : holds_(holds), told_(std::move(told)) {}

    // When Expire must next be called; none while nothing waits on the time.
    std::optional<EventClock::TimePoint> Deadline() const;
    // Adds to decided what time has decided by at.
    void Expire(EventClock::TimePoint at, std::vector<GestureAction>& decided);
    // A press or a repeat (held) of key, with the key's gestures where it has any. Adds to
    // decided what the event decides, all of it the gesture's that was under way before it.
    Taken Event(bool held, const Key& key, const std::optional<Gestures>& gestures,
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
    void Start(const Key& key, const Gestures& gestures, EventClock::TimePoint at, bool pressed);
    // The hold ended before the delay, by ended: a tap, or a double may still come.
    void HoldEnded(EventClock::TimePoint ended, std::vector<GestureAction>& decided);
    // Decides the waiting gesture as its tap (nothing, for one begun by a repeat).
    void Tap(std::vector<GestureAction>& decided);
    void Decide(KeyReader::Gesture gesture, const std::optional<GestureAction>& action,
                std::vector<GestureAction>& decided);
    // Whether a double may still come at at.
    bool TwiceOpen(EventClock::TimePoint at) const;
    EventClock::TimePoint Delay() const;

    const HoldTracker& holds_;
    Told told_;
    Phase phase_ = Phase::Idle;
    std::optional<Key> key_;
    Gestures gestures_;
    EventClock::TimePoint pressAt_{};  // its first press, or the repeat that began it
    bool pressed_ = false;             // it began at a press
};
