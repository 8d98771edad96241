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

    KeyEvent event = keys_.Decode(first, code);
    messageText_ = std::move(event.text);
    // The player acts before the history shows the key.
    if (event.request) {
        player_.Perform(*event.request);
    }
    history_.ReplaceLastLine(messageText_);
    return true;
}
