#include "receiver/hold_shaper.h"

bool HoldShaper::Admit(bool held, const std::optional<Key>& key, const HoldShape& hold,
                       EventClock::TimePoint at, QueuePlace queue) {
    // Its input came while the player was being called; how long it may have waited.
    const bool behindCall = queue.queued && calledSinceDrained_;
    const auto waitedAtMost = at - drainedAt_;
    if (!queue.queued || !queue.more) {
        drainedAt_ = at;
        calledSinceDrained_ = false;
    }
    const HoldTracker::Hold* now = holds_.Find(key);
    if (held && now == nullptr) {
        return false;  // a repeat of no key read is part of no hold
    }
    const bool due = Due(held, now, hold, at);
    if (!held) {
        return due;
    }
    if (behindCall && queue.more) {
        // The newest of what queued carries the act, so a backlog acts once.
        owed_ = owed_ || due;
        return false;
    }
    owed_ = owed_ || due;
    if (behindCall && waitedAtMost > StaleAfter) {
        return false;  // too old to act on; a live repeat of the same hold may carry the act
    }
    const bool acts = owed_;
    owed_ = false;
    return acts;
}

bool HoldShaper::Due(bool held, const HoldTracker::Hold* now, const HoldShape& hold,
                     EventClock::TimePoint at) {
    if (!held) {
        owed_ = false;
        return true;
    }
    if (now->repeats == 1) {  // the hold's first repeat
        passed_ = 0;
        nextAct_ = 1;
        owed_ = false;
        step_ = hold.accel ? hold.every + HoldShape::AccelSlack : hold.every;
    }
    if (at - now->since < std::chrono::milliseconds(hold.delayMs)) {
        return false;
    }
    ++passed_;
    if (passed_ != nextAct_) {
        return false;
    }
    if (hold.once) {
        nextAct_ = 0;
        return true;
    }
    nextAct_ += step_;
    if (step_ > hold.every) {
        --step_;
    }
    return true;
}
