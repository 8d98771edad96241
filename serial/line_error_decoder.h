#pragma once

#include <cstdint>

// Undoes the tty's PARMRK marking: 0xFF 0xFF is a data byte 255, 0xFF 0x00 X is a byte
// received with a framing or parity error (or a break when X is 0). Plain C++ so it can be
// fuzzed alone.
class LineErrorDecoder {
  public:
    static constexpr std::uint8_t MarkByte = 0xFF;
    static constexpr std::uint8_t ErrorByte = 0x00;

    enum class Kind {
        Pending,    // inside a marked sequence: feed more
        Byte,       // value holds a received byte
        LineError,  // the line reported an error; the damaged byte is dropped
    };
    struct Result {
        Kind kind;
        std::uint8_t value;
    };

    Result Feed(std::uint8_t byte);
    // Forgets a half-read sequence, e.g. when the port is reopened.
    void Reset() { state_ = State::Plain; }

  private:
    enum class State { Plain, AfterMark, AfterErrorMark };
    State state_ = State::Plain;
};
