#include "serial/line_error_decoder.h"

LineErrorDecoder::Result LineErrorDecoder::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::Plain:
            if (byte == MarkByte) {
                state_ = State::AfterMark;
                return {Kind::Pending, 0};
            }
            return {Kind::Byte, byte};
        case State::AfterMark:
            if (byte == MarkByte) {
                state_ = State::Plain;
                return {Kind::Byte, MarkByte};
            }
            if (byte == ErrorByte) {
                state_ = State::AfterErrorMark;
                return {Kind::Pending, 0};
            }
            // The tty never sends this; the stream can no longer be trusted, so it counts as
            // a line error rather than guessing which byte was meant.
            state_ = State::Plain;
            return {Kind::LineError, 0};
        case State::AfterErrorMark:
            state_ = State::Plain;
            return {Kind::LineError, 0};
    }
    return {Kind::LineError, 0};
}
