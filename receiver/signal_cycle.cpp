#include "receiver/signal_cycle.h"

#include "receiver/event_protocol.h"
#include "receiver/number_text.h"

namespace {

// Built once: a line a pass would otherwise cost an allocation a pass.
const std::string& WaitingLine() {
    static const std::string line(SignalCycle::WaitingText);
    return line;
}

}  // namespace

void SignalCycle::Run() {
    while (RunOnePass()) {
    }
}

bool SignalCycle::RunOnePass() {
    history_.AppendLine(WaitingLine());

    const int first = source_.ReadByte();
    if (first == ByteSource::Stopped) {
        return false;
    }
    if (first != KeyPrefix && first != RepeatPrefix) {
        // Not an event: the number goes on its own line and the waiting line stays.
        history_.AppendLine(DecimalText(first));
        return true;
    }

    // Whatever follows a prefix is the key code, even another prefix or a failed read.
    const int code = source_.ReadByte();
    if (code == ByteSource::Stopped) {
        return false;
    }

    const EventClock::TimePoint arrived = clock_.Now();
    const std::shared_ptr<const KeyMap> current = shared_ != nullptr ? shared_->Current() : nullptr;
    KeyEvent event = (current ? *current : *keys_).Decode(first, code);
    messageText_ = std::move(event.text);
    // Every event goes through the shaper, so that a press ends a hold.
    const bool acts = shaper_.Admit(first == RepeatPrefix, code, event.hold, arrived);
    // The player acts before the history shows the key.
    if (event.request && acts) {
        player_.Perform(*event.request);
    }
    history_.ReplaceLastLine(messageText_);
    return true;
}
