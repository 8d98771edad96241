#include "remote/gesture_shaper.h"

#include <algorithm>

namespace {

std::chrono::milliseconds Ms(const std::optional<GestureAction>& action) {
    return std::chrono::milliseconds(action ? action->ms : 0);
}

}  // namespace

std::optional<EventClock::TimePoint> GestureShaper::Deadline() const {
    switch (phase_) {
        case Phase::Down:
            return releases_ ? pressAt_ + Ms(gestures_.hold)
                             : std::min(pressAt_ + Ms(gestures_.hold), lastSeen_ + HoldGap);
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
        } else if (releases_ || pressAt_ + Ms(gestures_.hold) <= lastSeen_ + HoldGap) {
            Decide(gestures_.hold, decided);  // still held at the delay
        } else if (TwiceOpen(lastSeen_ + HoldGap)) {
            phase_ = Phase::Gap;  // the hold ended unheard, before the delay
        } else {
            Tap(decided);
        }
    }
}

bool GestureShaper::Event(bool held, const Key& key, const std::optional<Gestures>& gestures,
                          EventClock::TimePoint at, std::vector<GestureAction>& decided) {
    Expire(at, decided);
    if (key_ == key && phase_ != Phase::Idle) {
        if (held && phase_ == Phase::Down) {
            lastSeen_ = at;
            if (at >= pressAt_ + Ms(gestures_.hold)) {
                Decide(gestures_.hold, decided);
            }
            return false;
        }
        if (held && phase_ == Phase::Spent && (releases_ || at - lastSeen_ <= HoldGap)) {
            lastSeen_ = at;
            return false;
        }
        if (!held && phase_ != Phase::Spent && TwiceOpen(at)) {
            Decide(gestures_.twice, decided);
            lastSeen_ = at;
            return false;
        }
        if (held && phase_ == Phase::Gap) {
            return true;  // a key without a long binding, held: its held binding acts
        }
    }
    if (phase_ == Phase::Down || phase_ == Phase::Gap) {
        Tap(decided);
    }
    phase_ = Phase::Idle;
    if (!gestures || (held && !gestures->hold)) {
        return true;
    }
    // A hold may begin with a repeat, from a source that missed the press.
    Start(key, *gestures, at);
    return false;
}

void GestureShaper::Release(const Key& key, EventClock::TimePoint at,
                            std::vector<GestureAction>& decided) {
    Expire(at, decided);
    if (key_ != key) {
        return;
    }
    if (phase_ == Phase::Down) {
        if (TwiceOpen(at)) {
            phase_ = Phase::Gap;
        } else {
            Tap(decided);
        }
    } else if (phase_ == Phase::Spent) {
        phase_ = Phase::Idle;
    }
}

void GestureShaper::Start(const Key& key, const Gestures& gestures, EventClock::TimePoint at) {
    key_ = key;
    gestures_ = gestures;
    pressAt_ = lastSeen_ = at;
    phase_ = gestures.hold ? Phase::Down : Phase::Gap;
}

void GestureShaper::Tap(std::vector<GestureAction>& decided) {
    if (gestures_.tap) {
        decided.push_back(*gestures_.tap);
    }
    phase_ = Phase::Idle;
}

void GestureShaper::Decide(const std::optional<GestureAction>& action,
                           std::vector<GestureAction>& decided) {
    if (action) {
        decided.push_back(*action);
    }
    phase_ = Phase::Spent;
}

bool GestureShaper::TwiceOpen(EventClock::TimePoint at) const {
    return gestures_.twice && at < pressAt_ + Ms(gestures_.twice);
}
