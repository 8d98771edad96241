#include "learning/key_recorder.h"

void KeyRecorder::Start() {
    step_ = Step::First;
    keys_.clear();
}

void KeyRecorder::Took(const Key& key) {
    if (step_ == Step::First) {
        keys_ = {key};
        step_ = Step::Again;
    } else if (step_ == Step::Again) {
        step_ = key == keys_.front() ? Step::Done : Step::Both;
        if (step_ == Step::Both) {
            keys_.push_back(key);
        }
    }
}

void KeyRecorder::Answer(bool both) {
    if (step_ == Step::Both) {
        if (!both) {
            keys_.erase(keys_.begin() + 1, keys_.end());
        }
        step_ = Step::Done;
    }
}

void KeyRecorder::Cancel() {
    if (step_ == Step::First) {
        step_ = Step::Off;
    } else if (step_ == Step::Again || step_ == Step::Both) {
        keys_.erase(keys_.begin() + 1, keys_.end());
        step_ = Step::Done;
    }
}

std::string KeyRecorder::Prompt() const {
    switch (step_) {
        case Step::First:
            return "Press the key on the remote (Esc cancels).";
        case Step::Again:
            return "Code " + keys_.front().Text() + ". Press it again (Esc keeps it alone).";
        case Step::Both:
            return "Code " + keys_.front().Text() + ", then code " + keys_.back().Text() +
                   ": a second code for the same key (a toggle bit): bind both?";
        case Step::Done:
            return keys_.size() == 1 ? "Learnt code " + keys_.front().Text() + "."
                                     : "Learnt codes " + keys_.front().Text() + " and " +
                                           keys_.back().Text() + ".";
        case Step::Off:
            break;
    }
    return {};
}
