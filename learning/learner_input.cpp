#include "learning/learner_input.h"

LearnerInput::LearnerInput(ReceiverLoop& reader, TypedInput& typed)
    : reader_(reader), typed_(typed) {
    // A line typed ends the wait for a key, which then looks at typing first.
    typed_.Attach(*reader_.Loop(), [this] { reader_.Wake(); });
}

LearnerInput::~LearnerInput() {
    typed_.Detach();
}

std::optional<LearnerInput::Event> LearnerInput::Next(
    std::chrono::steady_clock::time_point deadline) {
    using Kind = Event::Kind;
    for (;;) {
        if (!returned_.empty()) {
            Event event = std::move(returned_.front());
            returned_.pop_front();
            return event;
        }
        if (std::optional<std::string> line = typed_.Take()) {
            return Event{Kind::Line, false, std::nullopt, std::move(*line)};
        }
        if (!endSaid_ && typed_.Ended()) {
            endSaid_ = true;
            return Event{Kind::EndOfInput};
        }
        const SourceItem item = reader_.NextBefore(deadline);
        const SourceCondition* failure = std::get_if<SourceCondition>(&item);
        if (const auto* broken = std::get_if<BrokenEvent>(&item)) {
            failure = &broken->why;
        }
        if (const auto* event = std::get_if<KeyEvent>(&item)) {
            if (event->action != KeyAction::Release) {
                return Event{Kind::Key, event->action == KeyAction::Repeat, event->key};
            }
        } else if (failure != nullptr && failure->kind != SourceCondition::Kind::LineError &&
                   failure->kind != SourceCondition::Kind::Back) {
            // A lost source ends learning.
            return Event{Kind::SourceLost, false, std::nullopt, failure->reason};
        } else if (std::holds_alternative<TimedOut>(item) &&
                   std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
    }
}
