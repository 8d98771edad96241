#pragma once

#include <chrono>
#include <optional>

#include "receiver/event_clock.h"
#include "source/key.h"
#include "source/key_source.h"

// Which key is down, since when, and whether it is held: the one account of holds that
// hold shaping (HoldShaper) and gestures (GestureShaper) both go by. Every key event goes
// through Take once, in order, before they are asked about it.
//
// A key is down from its press until its hold ends: at its release where its source says
// when keys go up; else at a gap over RepeatGap after its press or last repeat. A repeat
// that was already waiting when the source was asked says nothing of a gap: it came while
// the cycle was busy (say, with a slow player). A repeat of a key that is not down begins
// a hold of its own (its press was missed, or the gap ended the one before). One key is
// down at a time: a press, or a repeat of another key, ends the hold under way. An event
// whose key could not be read holds nothing: its press ends the hold under way, as any
// press does; its repeat says nothing. Used on one thread.
class HoldTracker {
  public:
    // About how often a held key repeats (the serial receiver: every 110 ms), with room for
    // a late repeat. A key whose source gives no release counts as held at a moment only
    // when a repeat came within this before it, or after it in the same hold.
    static constexpr std::chrono::milliseconds RepeatPeriod{120};

    struct Hold {
        bool releases = false;             // its source says when it goes up
        bool pressed = false;              // it began at a press; else at a repeat
        int repeats = 0;                   // repeats so far: 1 at the first
        EventClock::TimePoint since{};     // its press, or its first repeat
        EventClock::TimePoint lastSeen{};  // its press or its last repeat
    };

    // key: none for an event whose key could not be read; releases: its source gives
    // releases; at: when it arrived; queued: it was already waiting.
    void Take(KeyAction action, const std::optional<Key>& key, bool releases,
              EventClock::TimePoint at, bool queued = false);

    // The hold of key as of the last event, if key is down.
    const Hold* Find(const std::optional<Key>& key) const;
    // When key's hold ends if nothing more comes: TimePoint::max() while it lasts until its
    // release, TimePoint::min() once it has ended.
    EventClock::TimePoint EndsAt(const std::optional<Key>& key) const;
    // Whether key counts as held at at: down, where its source gives releases; else as
    // RepeatPeriod says.
    bool HeldAt(const std::optional<Key>& key, EventClock::TimePoint at) const;

  private:
    std::optional<Key> key_;
    std::optional<Hold> hold_;  // none when no key is down
};
