#include "receiver/signal_cycle.h"

#include <type_traits>
#include <utility>

#include "keymap/builtin_keys.h"
#include "text/number_text.h"

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
        const auto due = NextDeadline();
        SourceItem item = due ? source_.NextBefore(*due) : source_.Next();
        if (std::holds_alternative<TimedOut>(item)) {
            ExpireDue(clock_.Now());
            continue;
        }
        if (auto* event = std::get_if<KeyEvent>(&item)) {
            if (capture_ != nullptr && capture_->Take(*event)) {
                continue;  // learnt in the keys window: the waiting line stays
            }
            source_.Pass(*event);
            if (event->action == KeyAction::Release) {
                // Ends a hold; shows nothing but what it decides.
                const EventClock::TimePoint now = clock_.Now();
                ExpireDue(now);
                holds_.Take(KeyAction::Release, event->key, event->releases, now);
                std::vector<GestureAction> decided;
                gestures_.Release(event->key, now, decided);
                ShowDecided(decided);
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
            if (condition->setup) {
                // A source that never came up: why, as the start says it.
                ShowAside(ConfigErrorText, condition->reason);
                continue;
            }
            history_.AppendLine(ReadErrorText, condition->reason);
            history_.AppendLine(FailedReadLine());
            return true;
        }
        if (const auto* broken = std::get_if<BrokenEvent>(&item)) {
            // The error line, then the event's text over it.
            history_.AppendLine(ReadErrorText, broken->why.reason);
            const bool held = broken->action == KeyAction::Repeat;
            const EventClock::TimePoint now = clock_.Now();
            holds_.Take(broken->action, std::nullopt, false, now);
            shaper_.Admit(held, std::nullopt, {}, now);
            messageText_ = (held ? RepeatText : "") + FailedReadLine();
            history_.ReplaceLastLine(messageText_);
            return true;
        }
        return false;  // stopped
    }
}

void SignalCycle::Handle(const KeyEvent& event) {
    const EventClock::TimePoint arrived = clock_.Now();
    ExpireDue(arrived);  // what time decided before it came
    holds_.Take(event.action, event.key, event.releases, arrived, event.queued);
    const std::shared_ptr<const KeyMap> keys = keys_.Current();
    if (!mode_.empty() && !keys->HasMode(mode_)) {
        ChangeMode({}, 0);  // a reload took the mode away
        ShowAside(ModeText(mode_));
    }
    KeyContext context{mode_, {}};
    PlayerChoice choice;  // left to the link, unless the section goes by the player
    if (keys->FollowsPlayer()) {
        // Chosen once: the section and the action go by the same player.
        choice = player_.Choose();
        context.player = player_.PlayerNames(choice);
    }
    KeyEffect effect = keys->Decode(event, context);
    messageText_ = std::move(effect.text);
    const bool held = event.action == KeyAction::Repeat;
    std::vector<GestureAction> decided;
    const GestureShaper::Taken taken =
        gestures_.Event(held, event.key, effect.gestures, arrived, decided);
    ShowDecided(decided);  // the gesture's that was under way, on its player
    if (taken == GestureShaper::Taken::Began) {
        gestureChoice_ = choice;
    }
    // Every event goes through the shaper, in step with the tracker.
    const bool acts =
        shaper_.Admit(held, event.key, effect.hold, arrived, {event.queued, event.more}) &&
        taken == GestureShaper::Taken::No;
    if (acts) {
        source_.Decided(held ? KeyReader::Gesture::Held : KeyReader::Gesture::Press, event.key);
    }
    if (!mode_.empty()) {
        modeUntil_ = arrived + modeTimeout_;  // a mode's timeout counts from the last key
    }
    // The player acts before the history shows the key.
    std::string why;
    if (effect.request && acts) {
        why = Act(*effect.request, choice, messageText_);
    }
    history_.ReplaceLastLine(messageText_, why);
}

std::string SignalCycle::Act(const PlayerRequest& request, const PlayerChoice& choice,
                             std::string& text) {
    if (request.action == PlayerAction::Mode) {
        ChangeMode(request.command, request.seconds);
    } else if (request.action != PlayerAction::Run) {
        // The press's line is the last one, written once the action is on its way.
        PlayerChoice forPress = choice;
        forPress.press = acting_ = history_.LineNumber();
        player_.Perform(request, forPress);
        acting_ = 0;
        shaper_.PlayerCalled();
        return std::exchange(actingWhy_, {});
    } else if (const auto outcome = commands_.Run(request.command);
               outcome != CommandRunner::Outcome::Started) {
        // Else the log says what became of it; a command that did not start shows, and why.
        text = outcome == CommandRunner::Outcome::Failed ? RunFailedText : RunSkippedText;
        std::string why = commands_.WhyNotStarted();
        SayProblem(why);
        return why;
    } else {
        Solve();
    }
    return {};
}

void SignalCycle::Reached(std::uint64_t /*press*/) {
    Solve();
}

void SignalCycle::Failed(std::uint64_t press, const std::string& why) {
    if (press == acting_) {
        actingWhy_ = why;  // its line is yet to be written, with why
    } else {
        history_.ExplainNumbered(press, why);
    }
    SayProblem(why);
}

void SignalCycle::SayProblem(const std::string& why) {
    if (why.empty() || why == problem_) {
        return;  // a player missing is told once, not at every key
    }
    problem_ = why;
    player_.Announce(PlayerNews{PlayerNews::Kind::Problem, "Quorvel", why});
    if (notice_ != nullptr) {
        notice_->Show(why, false);
    }
}

void SignalCycle::Solve() {
    if (problem_.empty()) {
        return;
    }
    problem_.clear();
    if (notice_ != nullptr) {
        notice_->Solved();
    }
}

void SignalCycle::ShowDecided(std::vector<GestureAction>& decided) {
    for (GestureAction& action : decided) {
        if (action.request) {  // one bound to nothing takes the gesture, and shows nothing
            const std::string why = Act(*action.request, gestureChoice_, action.text);
            ShowAside(action.text, why);
        }
    }
}

void SignalCycle::ShowAside(const std::string& text, const std::string& why) {
    history_.ReplaceLastLine(text, why);
    history_.AppendLine(WaitingLine());
}

void SignalCycle::ExpireDue(EventClock::TimePoint now) {
    std::vector<GestureAction> decided;
    gestures_.Expire(now, decided);
    ShowDecided(decided);
    if (!mode_.empty() && modeTimeout_.count() != 0 && now >= modeUntil_) {
        ChangeMode({}, 0);
        ShowAside(ModeText(mode_));
    }
}

void SignalCycle::ChangeMode(const std::string& mode, int timeoutSeconds) {
    modeTimeout_ = std::chrono::seconds(timeoutSeconds);
    modeUntil_ = clock_.Now() + modeTimeout_;
    if (mode == mode_) {
        return;
    }
    mode_ = mode;
    if (judge_ != nullptr) {
        judge_->SetMode(mode_);
    }
    player_.Announce(PlayerNews{PlayerNews::Kind::Mode, "Quorvel",
                                mode.empty() ? std::string("No mode") : "Mode " + mode});
}

std::optional<EventClock::TimePoint> SignalCycle::NextDeadline() const {
    std::optional<EventClock::TimePoint> due = gestures_.Deadline();
    if (!mode_.empty() && modeTimeout_.count() != 0 && (!due || modeUntil_ < *due)) {
        due = modeUntil_;
    }
    return due;
}
