#include "source/source_health.h"

#include <utility>

#include "log/log_line.h"

namespace {

const std::string& ReasonOf(const SourceItem& item) {
    static const std::string none;
    if (const auto* condition = std::get_if<SourceCondition>(&item)) {
        return condition->reason;
    }
    if (const auto* broken = std::get_if<BrokenEvent>(&item)) {
        return broken->why.reason;
    }
    return none;
}

}  // namespace

SourceCondition SourceHealth::NotStarted(SourceCondition why, std::string_view after) {
    Say(why.reason, LogLevel::Warning, after);
    state_ = State::Failed;
    return why;
}

void SourceHealth::TryFailed(SourceCondition why, LogLevel level, std::string_view after) {
    Say(why.reason, level, after);
    if (state_ == State::Starting && out_ != nullptr) {
        state_ = State::Failed;
        why.setup = true;
        out_->Put(std::move(why));
    }
}

bool SourceHealth::Lost(SourceItem shown) {
    if (state_ == State::Failed || state_ == State::Lost || out_ == nullptr) {
        return false;
    }
    state_ = State::Lost;
    said_.News(ReasonOf(shown));
    out_->Put(std::move(shown));
    return true;
}

bool SourceHealth::Up(const std::string& back) {
    if (out_ == nullptr) {
        return false;
    }
    said_.Clear();
    const bool wasDown = state_ == State::Failed || state_ == State::Lost;
    state_ = State::Up;
    if (wasDown) {
        QUORVEL_INFO(log_) << back;
        out_->Put(SourceCondition{SourceCondition::Kind::Back, back});
    }
    return wasDown;
}

bool SourceHealth::Say(const std::string& problem, LogLevel level, std::string_view after) {
    if (!said_.News(problem)) {
        return false;
    }
    QUORVEL_LOG(log_, level) << problem << after;
    return true;
}

void SourceHealth::Put(SourceItem item) {
    if (out_ != nullptr) {
        out_->Put(std::move(item));
    }
}

void SourceHealth::Put(std::vector<KeyEvent>& events) {
    if (out_ == nullptr) {
        return;
    }
    for (KeyEvent& event : events) {
        out_->Put(std::move(event));
    }
    events.clear();
}
