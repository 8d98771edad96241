#include "remote/signal_cycle.h"

#include <type_traits>

#include "remote/builtin_keys.h"
#include "source/number_text.h"

namespace {

// Built once: a line a pass would otherwise cost an allocation a pass.
const std::string& WaitingLine() {
    static const std::string line(SignalCycle::WaitingText);
    return line;
}

const std::string& FailedReadLine() {
    static const std::string line(DecimalText(-1));
    return line;
}

}  // namespace

void SignalCycle::Start() {
    // The order matters to what the user sees: the greeting goes only once the source is
    // open, and any "Err" lines come first in the new history.
    source_.Open();
    if (history_.HoldsGreeting()) {
        history_.RemoveFirstLine();
    }
    for (const SourceCondition& condition : source_.Configure()) {
        history_.AppendLine(ConfigErrorText, condition.reason);
    }
}

void SignalCycle::Run() {
    while (RunOnePass()) {
    }
}

bool SignalCycle::RunOnePass() {
    history_.AppendLine(WaitingLine());
    for (;;) {
        SourceItem item = source_.Next();
        if (auto* event = std::get_if<KeyEvent>(&item)) {
            if (event->action == KeyAction::Release) {
                // Ends a hold; shows nothing.
                shaper_.Release(event->key);
                continue;
            }
            Handle(*event);
            return true;
        }
        if (const auto* stray = std::get_if<StrayByte>(&item)) {
            // Not an event: the number goes on its own line and the waiting line stays.
            history_.AppendLine(DecimalText(stray->value));
            return true;
        }
        if (const auto* condition = std::get_if<SourceCondition>(&item)) {
            if (condition->kind == SourceCondition::Kind::Back) {
                continue;  // said in the log; the waiting line stays
            }
            history_.AppendLine(ReadErrorText, condition->reason);
            history_.AppendLine(FailedReadLine());
            return true;
        }
        if (const auto* broken = std::get_if<BrokenEvent>(&item)) {
            // The error line, then the event's text over it.
            history_.AppendLine(ReadErrorText, broken->why.reason);
            const bool held = broken->action == KeyAction::Repeat;
            shaper_.Admit(held, std::nullopt, {}, clock_.Now());
            messageText_ = (held ? RepeatText : "") + FailedReadLine();
            history_.ReplaceLastLine(messageText_);
            return true;
        }
        return false;  // stopped
    }
}

void SignalCycle::Handle(const KeyEvent& event) {
    const EventClock::TimePoint arrived = clock_.Now();
    const std::shared_ptr<const KeyMap> keys = keys_.Current();
    KeyEffect effect = keys->Decode(event);
    messageText_ = std::move(effect.text);
    // Every event goes through the shaper, so that a press ends a hold.
    const bool acts = shaper_.Admit(event.action == KeyAction::Repeat, event.key, effect.hold,
                                    arrived, {event.queued, event.more});
    // The player acts before the history shows the key.
    std::string why;
    if (effect.request && acts) {
        if (effect.request->action != PlayerAction::Run) {
            player_.Perform(*effect.request);
            shaper_.PlayerCalled();
        } else if (commands_.Run(effect.request->command) == CommandRunner::Outcome::Failed) {
            // Else the log says what became of it; a command that did not start shows.
            messageText_ = RunFailedText;
            why = commands_.LastFailure();
        }
    }
    history_.ReplaceLastLine(messageText_, why);
}
