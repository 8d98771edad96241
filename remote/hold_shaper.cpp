#include "remote/hold_shaper.h"

bool HoldShaper::Admit(bool held, const std::optional<Key>& key, const HoldShape& hold,
                       EventClock::TimePoint at) {
    if (!held) {
        holding_ = false;
        pressOpen_ = true;
        pressKey_ = key;
        pressAt_ = at;
        return true;
    }
    if (!holding_ || key != holdKey_ || at - lastRepeat_ > HoldGap) {
        holding_ = true;
        holdKey_ = key;
        heldFrom_ = pressOpen_ && pressKey_ == key && at - pressAt_ <= HoldGap ? pressAt_ : at;
        passed_ = 0;
        nextAct_ = 1;
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
    }
    if (pressKey_ == key) {
        pressOpen_ = false;
    }
}
