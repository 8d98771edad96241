#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "source/key_source.h"

// What an MQTT message means, as a key source reads it: a key event, or why it is ignored.
// Taken in:
// - Tasmota: {"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF10EF","Repeat":0}}, Data
//   also as a decimal number, Hash in place of Data for an unknown protocol, other fields
//   anywhere left aside;
// - OpenMQTTGateway: {"value":551489775,"protocol_name":"NEC","bits":32,"hex":"0x20DF10EF"},
//   hex perhaps missing;
// - another Quorvel: {"key":"24","action":"press","remote":"","source":"serial"}, the key as
//   its source named it (a byte code, a key name, scan:0x...), input devices' with releases;
// - plain text: the key's name itself (KEY_NEXT, or a code of the user's own).
// A bridge's code is the key named PROTOCOL_HEX (NEC_20DF10EF): the protocol in capitals,
// the code in capital hex without 0x, as many digits as its bits take. So the same code has
// the same name from either bridge, and a key map line takes it bare.
// A bridge's code is a press, or a repeat: with Tasmota's Repeat above 0, as an NEC repeat
// frame (0 bits, or all ones) within a second of the key it repeats, or as the same code
// again within 250 ms of its last. Another Quorvel's key is what it says.
class MqttPayloadDecoder {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::size_t LargestPayload = 4096;
    static constexpr std::size_t LongestText = 64;
    static constexpr std::chrono::milliseconds RepeatGap{250};
    static constexpr std::chrono::seconds RepeatFrameReach{1};

    enum class Ignored {
        None,      // a key event
        Own,       // this Quorvel's own message
        Retained,  // old news kept by the broker
        Empty,
        TooLarge,     // over LargestPayload bytes
        Malformed,    // JSON that does not parse, or text that is no key's name
        WrongShape,   // JSON, but of none of the shapes above
        NoKeyBefore,  // a repeat frame with no key of late to repeat
    };
    struct Decoded {
        std::optional<KeyEvent> event;
        Ignored ignored = Ignored::None;
        std::string detail{};  // what was wrong, for the log
    };

    // ownTopic: where this Quorvel publishes its keys (quorvel/NAME/key).
    explicit MqttPayloadDecoder(std::string ownTopic) : ownTopic_(std::move(ownTopic)) {}

    // The message on topic, arrived at at.
    Decoded Decode(std::string_view topic, std::string_view payload, bool retained, TimePoint at);

    // What a kind of ignored message is, for the log: "a retained message".
    static const char* Describe(Ignored ignored);
    // Another Quorvel's key text as a key: "24" a byte code, "scan:0x..." a scancode, any
    // other a name. None for an empty one or a code above 255.
    static std::optional<Key> KeyFromText(std::string_view text);
    // "press", "repeat", "release".
    static const char* ActionText(KeyAction action);

  private:
    // A bridge's code: a press or a repeat by the 250 ms rule.
    Decoded Code(Key key, bool repeat, TimePoint at);
    // An NEC repeat frame: the last code again, if it came just before.
    Decoded RepeatFrame(TimePoint at);

    std::string ownTopic_;
    std::optional<Key> last_;  // the last code of a bridge or plain text, and when
    TimePoint lastAt_{};
};
