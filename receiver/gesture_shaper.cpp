#include "receiver/gesture_shaper.h"

#include <algorithm>

namespace {

std::chrono::milliseconds Ms(const std::optional<GestureAction>& action) {
    return std::chrono::milliseconds(action ? action->ms : 0);
}

}  // namespace

std::optional<EventClock::TimePoint> GestureShaper::Deadline() const {
    switch (phase_) {
        case Phase::Down:
            // Held at the delay, it is decided then; else when the hold ends, unless a
            // repeat past the delay decides it first.
            return holds_.HeldAt(key_, Delay()) ? Delay() : holds_.EndsAt(key_);
        case Phase::Gap:
            return pressAt_ + Ms(gestures_.twice);
        default:
            return std::nullopt;
    }
}

void GestureShaper::Expire(EventClock::TimePoint at, std::vector<GestureAction>& decided) {
    for (auto due = Deadline(); due && *due <= at; due = Deadline()) {
        if (phase_ == Phase::Gap) {
            Tap(decided);
        } else if (holds_.HeldAt(key_, Delay())) {
            Decide(KeyReader::Gesture::Long, gestures_.hold, decided);
        } else {
            HoldEnded(std::max(holds_.EndsAt(key_), pressAt_), decided);
        }
    }
}

GestureShaper::Taken GestureShaper::Event(bool held, const Key& key,
                                          const std::optional<Gestures>& gestures,
                                          EventClock::TimePoint at,
                                          std::vector<GestureAction>& decided) {
    if (key_ == key && phase_ != Phase::Idle) {
        if (held && phase_ == Phase::Down) {
            if (at >= Delay()) {
                // A repeat past the delay: held at it.
                Decide(KeyReader::Gesture::Long, gestures_.hold, decided);
            }
            return Taken::Kept;
        }
        if (held && phase_ == Phase::Spent) {
            return Taken::Kept;
        }
        if (!held && pressed_ && phase_ != Phase::Spent && TwiceOpen(at)) {
            Decide(KeyReader::Gesture::Double, gestures_.twice, decided);
            return Taken::Kept;
        }
        if (held && phase_ == Phase::Gap) {
            return Taken::No;  // a key without a long binding, held: its held binding acts
        }
    }
    if (phase_ == Phase::Down || phase_ == Phase::Gap) {
        Tap(decided);
    }
    phase_ = Phase::Idle;
    if (!gestures || (held && !gestures->hold)) {
        return Taken::No;
    }
    // A hold may begin with a repeat, from a source that missed the press.
    Start(key, *gestures, at, !held);
    return Taken::Began;
}

void GestureShaper::Release(const Key& key, EventClock::TimePoint at,
                            std::vector<GestureAction>& decided) {
    if (key_ != key) {
        return;
    }
    if (phase_ == Phase::Down) {
        HoldEnded(at, decided);
    }
    if (phase_ == Phase::Spent) {
        phase_ = Phase::Idle;
    }
}

void GestureShaper::Start(const Key& key, const Gestures& gestures, EventClock::TimePoint at,
                          bool pressed) {
    key_ = key;
    gestures_ = gestures;
    pressAt_ = at;
    pressed_ = pressed;
    phase_ = gestures.hold ? Phase::Down : Phase::Gap;
}

void GestureShaper::HoldEnded(EventClock::TimePoint ended, std::vector<GestureAction>& decided) {
    if (pressed_ && TwiceOpen(ended)) {
        phase_ = Phase::Gap;
    } else {
        Tap(decided);
    }
}

void GestureShaper::Tap(std::vector<GestureAction>& decided) {
    if (pressed_ && told_) {
        told_(KeyReader::Gesture::Press, *key_);
    }
    if (pressed_ && gestures_.tap) {
        decided.push_back(*gestures_.tap);
    }
    // Where a repeat could still be taken for a hold of its own, what follows is the tap's.
    phase_ = gestures_.hold ? Phase::Spent : Phase::Idle;
}

void GestureShaper::Decide(KeyReader::Gesture gesture, const std::optional<GestureAction>& action,
                           std::vector<GestureAction>& decided) {
    if (told_) {
        told_(gesture, *key_);
    }
    if (action) {
        decided.push_back(*action);
    }
    phase_ = Phase::Spent;
}

bool GestureShaper::TwiceOpen(EventClock::TimePoint at) const {
    return gestures_.twice && at < pressAt_ + Ms(gestures_.twice);
}

EventClock::TimePoint GestureShaper::Delay() const {
    return pressAt_ + Ms(gestures_.hold);
}
