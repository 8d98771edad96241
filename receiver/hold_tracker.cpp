#include "receiver/hold_tracker.h"

void HoldTracker::Take(KeyAction action, const std::optional<Key>& key, bool releases,
                       EventClock::TimePoint at, bool queued) {
    const bool down = Find(key) != nullptr;
    switch (action) {
        case KeyAction::Release:
            if (down) {
                hold_.reset();
            }
            return;
        case KeyAction::Press:
            hold_.reset();
            if (key) {
                key_ = key;
                hold_ = Hold{releases, true, 0, at, at};
            }
            return;
        case KeyAction::Repeat:
            if (!key) {
                return;
            }
            if (!down || (!releases && !queued && at - hold_->lastSeen > RepeatGap)) {
                key_ = key;
                hold_ = Hold{releases, false, 0, at, at};
            }
            hold_->releases = releases;
            ++hold_->repeats;
            hold_->lastSeen = at;
            return;
    }
}

const HoldTracker::Hold* HoldTracker::Find(const std::optional<Key>& key) const {
    return hold_ && key && key == key_ ? &*hold_ : nullptr;
}

EventClock::TimePoint HoldTracker::EndsAt(const std::optional<Key>& key) const {
    const Hold* hold = Find(key);
    if (hold == nullptr) {
        return EventClock::TimePoint::min();
    }
    return hold->releases ? EventClock::TimePoint::max() : hold->lastSeen + RepeatGap;
}

bool HoldTracker::HeldAt(const std::optional<Key>& key, EventClock::TimePoint at) const {
    const Hold* hold = Find(key);
    if (hold == nullptr) {
        return false;
    }
    return hold->releases || (hold->repeats > 0 && hold->lastSeen >= at - RepeatPeriod);
}
