#include "remote/hold_shaper.h"

bool HoldShaper::Admit(bool held, const std::optional<Key>& key, const HoldShape& hold,
                       EventClock::TimePoint at, QueuePlace queue) {
    // Its input came while the player was being called; how long it may have waited.
    const bool behindCall = queue.queued && calledSinceDrained_;
    const auto waitedAtMost = at - drainedAt_;
    if (!queue.queued || !queue.more) {
        drainedAt_ = at;
        calledSinceDrained_ = false;
    }
    const bool due = Due(held, key, hold, at, queue.queued);
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

bool HoldShaper::Due(bool held, const std::optional<Key>& key, const HoldShape& hold,
                     EventClock::TimePoint at, bool queued) {
    if (!held) {
        owed_ = false;
        holding_ = false;
        pressOpen_ = true;
        pressKey_ = key;
        pressAt_ = at;
        return true;
    }
    // A repeat that was already waiting says nothing of a gap: it came while we were busy.
    const bool paused = !queued && !releases_;
    if (!holding_ || key != holdKey_ || (paused && at - lastRepeat_ > HoldGap)) {
        holding_ = true;
        holdKey_ = key;
        heldFrom_ =
            pressOpen_ && pressKey_ == key && (!paused || at - pressAt_ <= HoldGap) ? pressAt_ : at;
        passed_ = 0;
        nextAct_ = 1;
        owed_ = false;
        step_ = hold.accel ? hold.every + HoldShape::AccelSlack : hold.every;
    }
    pressOpen_ = false;  // a press begins one hold at most
    lastRepeat_ = at;
    if (at - heldFrom_ < std::chrono::milliseconds(hold.delayMs)) {
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

void HoldShaper::Release(const Key& key) {
    if (holdKey_ == key) {
        holding_ = false;
        owed_ = false;
    }
    if (pressKey_ == key) {
        pressOpen_ = false;
    }
}
