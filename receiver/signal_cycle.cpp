#include "receiver/signal_cycle.h"

#include "receiver/key_code_table.h"

void SignalCycle::Run() {
    while (RunOnePass()) {
    }
}

bool SignalCycle::RunOnePass() {
    history_.AppendLine(WaitingText);

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

    KeyEvent event = DecodeKeyEvent(first, code);
    messageText_ = std::move(event.text);
    // The player acts before the history shows the key.
    if (event.command) {
        player_.SendPlayerCommand(*event.command);
    }
    history_.ReplaceLastLine(messageText_);
    return true;
}
