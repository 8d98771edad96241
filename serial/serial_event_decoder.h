#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "serial/line_error_decoder.h"
#include "source/key_source.h"

// The receiver's byte stream, as the tty marks it (see LineErrorDecoder), into items: a
// prefix and the code after it make a key event, named by its code (whatever byte follows a
// prefix is the code, even another prefix); any other byte where a prefix is due is a
// stray. A line error is a LineError condition, or the BrokenEvent of the event it cut in
// two. Plain C++, so it is tested and fuzzed alone.
class SerialEventDecoder {
  public:
    // port names the port in what a line error says.
    explicit SerialEventDecoder(std::string port) : port_(std::move(port)) {}

    // Appends the items bytes complete. The bytes of an event may come in several calls.
    void Feed(std::span<const std::uint8_t> bytes, std::vector<SourceItem>& out);
    // The port failed: why, or the BrokenEvent of the event it cut in two.
    SourceItem Fail(SourceCondition why);
    // Whether a line error was among what the last Feed took.
    bool SawLineError() const { return lineError_; }
    // Forgets a half-read event or mark, as when the port is opened again.
    void Reset();

  private:
    std::string port_;
    LineErrorDecoder marks_;
    std::optional<KeyAction> prefix_;  // the event begun, waiting for its code
    bool lineError_ = false;
};
