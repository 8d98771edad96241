#include "serial/serial_event_decoder.h"

#include "log/untrusted_text.h"
#include "serial/event_protocol.h"

void SerialEventDecoder::Feed(std::span<const std::uint8_t> bytes, std::vector<SourceItem>& out) {
    lineError_ = false;
    for (const std::uint8_t raw : bytes) {
        const LineErrorDecoder::Result decoded = marks_.Feed(raw);
        if (decoded.kind == LineErrorDecoder::Kind::Pending) {
            continue;
        }
        if (decoded.kind == LineErrorDecoder::Kind::LineError) {
            lineError_ = true;
            out.push_back(
                Fail({SourceCondition::Kind::LineError,
                      "a line error (framing, parity or break) on " + UntrustedText(port_)}));
            continue;
        }
        const int value = decoded.value;
        if (prefix_) {
            out.push_back(KeyEvent{.action = *prefix_, .key = Key::Code(value)});
            prefix_.reset();
        } else if (value == KeyPrefix || value == RepeatPrefix) {
            prefix_ = value == KeyPrefix ? KeyAction::Press : KeyAction::Repeat;
        } else {
            out.push_back(StrayByte{value});
        }
    }
}

SourceItem SerialEventDecoder::Fail(SourceCondition why) {
    if (prefix_) {
        const KeyAction action = *prefix_;
        prefix_.reset();
        return BrokenEvent{action, std::move(why)};
    }
    return why;
}

void SerialEventDecoder::Reset() {
    marks_.Reset();
    prefix_.reset();
    lineError_ = false;
}
