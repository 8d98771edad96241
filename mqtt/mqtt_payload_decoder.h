#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "source/key_source.h"

// What an MQTT message means, as a key source reads it: a key event, or why it is ignored.
// Taken in:
// - Tasmota: {"IrReceived":{"Protocol":"NEC","Bits":32,"Data":"0x20DF10EF","Repeat":0}}, Data
//   also as a decimal number, Hash in place of Data for an unknown protocol, other fields
//   anywhere left aside;
// - OpenMQTTGateway: {"value":551489775,"protocol_name":"NEC","bits":32,"hex":"0x20DF10EF"},
//   hex perhaps missing;
// - another Quorvel: its key as KeyMessage reads it, each (publisher, seq) acting once;
// - plain text: the key's name itself (KEY_NEXT, or a code of the user's own).
// A bridge's code is the key named PROTOCOL_HEX (bridge_code.h), of at most 64 bits. Every
// name keeps the rule for key names (Key::WhyNotAName). A bridge's code is a press, or a
// repeat: the same code, or an NEC repeat frame (0 bits, or all ones), within RepeatGap of
// the last key on the same topic; each topic its own, so two rooms' bridges never repeat
// each other's keys. Another Quorvel's key is what it says. A Quorvel's status topic
// (quorvel/NAME/status) is never a key, whatever the subscription.
class MqttPayloadDecoder {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::size_t LargestPayload = 4096;
    // The topics whose last key, and the publishers whose last event, are kept at most.
    static constexpr std::size_t Kept = 64;

    enum class Ignored {
        None,      // a key event
        Own,       // this Quorvel's own message
        Retained,  // old news kept by the broker
        Empty,
        TooLarge,     // over LargestPayload bytes
        Malformed,    // JSON that does not parse (or with junk after it), text that is no name
        WrongShape,   // JSON, but of none of the shapes above
        NoKeyBefore,  // a repeat frame with no key of late to repeat
        Status,       // a Quorvel's status
        BadName,      // a name that breaks the rule for key names
        Duplicate,    // another Quorvel's event, delivered again
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
    // Whether topic is a Quorvel's status topic.
    static bool StatusTopic(std::string_view topic);

  private:
    struct Last {
        Key key;
        TimePoint at;
    };

    // A bridge's or plain text's key on topic: a press, or a repeat of that topic's last.
    Decoded Code(std::string_view topic, Key key, TimePoint at);
    // An NEC repeat frame: the topic's last key again, if it came just before.
    Decoded RepeatFrame(std::string_view topic, TimePoint at);
    Decoded Json(std::string_view topic, std::string_view payload, TimePoint at);
    Decoded Quorvel(const nlohmann::json& json);
    // A new one of publisher's events, which it counts by seq.
    bool Fresh(const std::string& publisher, std::uint64_t seq);

    std::string ownTopic_;
    std::map<std::string, Last, std::less<>> last_;  // each topic's last code, and when
    std::map<std::string, std::uint64_t> seen_;      // each publisher's last event
};
