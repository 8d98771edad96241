#include "receiver/hold_shaper.h"

bool HoldShaper::Admit(bool held, int code, const HoldShape& hold, EventClock::TimePoint at) {
    if (!held) {
        holding_ = false;
        pressOpen_ = true;
        pressCode_ = code;
        pressAt_ = at;
        return true;
    }
    if (!holding_ || code != holdCode_ || at - lastRepeat_ > HoldGap) {
        holding_ = true;
        holdCode_ = code;
        heldFrom_ = pressOpen_ && pressCode_ == code && at - pressAt_ <= HoldGap ? pressAt_ : at;
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
