#include "mqtt/mqtt_payload_decoder.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "mqtt/bridge_code.h"
#include "mqtt/key_message.h"

namespace {

using Json = nlohmann::json;
using Decoded = MqttPayloadDecoder::Decoded;
using Ignored = MqttPayloadDecoder::Ignored;

Decoded Skip(Ignored why, std::string detail = {}) {
    return {std::nullopt, why, std::move(detail)};
}

// Keeps map within most entries, taking out the one least, by less, to make room.
template <typename Map, typename Less>
void Bound(Map& map, std::size_t most, Less less) {
    if (map.size() > most) {
        map.erase(std::min_element(map.begin(), map.end(), less));
    }
}

}  // namespace

const char* MqttPayloadDecoder::Describe(Ignored ignored) {
    switch (ignored) {
        case Ignored::None:
            return "a key";
        case Ignored::Own:
            return "this Quorvel's own key";
        case Ignored::Retained:
            return "a retained message (old news)";
        case Ignored::Empty:
            return "an empty message";
        case Ignored::TooLarge:
            return "a message over 4 KiB";
        case Ignored::Malformed:
            return "a message that is neither JSON nor a key's name";
        case Ignored::WrongShape:
            return "JSON of no shape known (Tasmota's IrReceived, OpenMQTTGateway's value, "
                   "a Quorvel's key)";
        case Ignored::NoKeyBefore:
            return "a repeat frame with no key just before it";
        case Ignored::Status:
            return "a Quorvel's status";
        case Ignored::BadName:
            return "a key name over 64 bytes, not UTF-8, or with control characters";
        case Ignored::Duplicate:
            return "another Quorvel's key delivered again";
    }
    return "a message";
}

bool MqttPayloadDecoder::StatusTopic(std::string_view topic) {
    constexpr std::string_view Prefix = "quorvel/";
    constexpr std::string_view Suffix = "/status";
    return topic.size() > Prefix.size() + Suffix.size() && topic.starts_with(Prefix) &&
           topic.ends_with(Suffix) &&
           topic.substr(Prefix.size(), topic.size() - Prefix.size() - Suffix.size()).find('/') ==
               std::string_view::npos;
}

Decoded MqttPayloadDecoder::Code(std::string_view topic, Key key, TimePoint at) {
    auto last = last_.find(topic);
    const bool repeat =
        last != last_.end() && last->second.key == key && at - last->second.at <= RepeatGap;
    if (last == last_.end()) {
        last = last_.emplace(std::string(topic), Last{key, at}).first;
    }
    last->second = Last{key, at};
    Bound(last_, Kept, [](const auto& a, const auto& b) { return a.second.at < b.second.at; });
    return {KeyEvent{repeat ? KeyAction::Repeat : KeyAction::Press, std::move(key)}};
}

Decoded MqttPayloadDecoder::RepeatFrame(std::string_view topic, TimePoint at) {
    const auto last = last_.find(topic);
    if (last == last_.end() || at - last->second.at > RepeatGap) {
        return Skip(Ignored::NoKeyBefore);
    }
    return Code(topic, last->second.key, at);
}

bool MqttPayloadDecoder::Fresh(const std::string& publisher, std::uint64_t seq) {
    const auto [seen, added] = seen_.emplace(publisher, seq);
    if (!added && seq <= seen->second) {
        return false;
    }
    seen->second = seq;
    // Whom no key was heard from for longest, by the count: a guess that costs at worst a
    // redelivery acting again.
    Bound(seen_, Kept, [](const auto& a, const auto& b) { return a.second < b.second; });
    return true;
}

Decoded MqttPayloadDecoder::Decode(std::string_view topic, std::string_view payload, bool retained,
                                   TimePoint at) {
    if (topic == ownTopic_) {
        return Skip(Ignored::Own);
    }
    if (StatusTopic(topic)) {
        return Skip(Ignored::Status);
    }
    if (retained) {
        return Skip(Ignored::Retained);
    }
    if (payload.size() > LargestPayload) {
        return Skip(Ignored::TooLarge, std::to_string(payload.size()) + " bytes");
    }
    constexpr std::string_view Blanks = " \t\r\n";
    const std::size_t start = payload.find_first_not_of(Blanks);
    if (start == std::string_view::npos) {
        return Skip(Ignored::Empty);
    }
    payload = payload.substr(start, payload.find_last_not_of(Blanks) - start + 1);
    if (payload.front() == '{' || payload.front() == '[') {
        return Json(topic, payload, at);
    }
    // Plain text: the key's name.
    std::string why;
    std::optional<Key> key = Key::FromName(payload, why);
    if (!key) {
        return Skip(Ignored::BadName, std::move(why));
    }
    return Code(topic, std::move(*key), at);
}

Decoded MqttPayloadDecoder::Json(std::string_view topic, std::string_view payload, TimePoint at) {
    // The JSON reader takes a NUL for the end of its input: what follows one is junk.
    if (const std::size_t nul = payload.find('\0'); nul != std::string_view::npos) {
        return Skip(Ignored::Malformed, "junk after the JSON, from byte " + std::to_string(nul));
    }
    ::Json json;
    try {
        json = ::Json::parse(payload);
    } catch (const ::Json::parse_error& error) {
        return Skip(Ignored::Malformed, "no JSON at byte " + std::to_string(error.byte));
    }
    if (!json.is_object()) {
        return Skip(Ignored::WrongShape, "not an object");
    }
    if (const auto tasmota = json.find("IrReceived"); tasmota != json.end()) {
        if (!tasmota->is_object()) {
            return Skip(Ignored::WrongShape, "IrReceived is not an object");
        }
        const std::string* protocol = TextField(*tasmota, "Protocol");
        const std::optional<unsigned> bits = Count(*tasmota, "Bits", LongestCodeBits);
        if (protocol == nullptr || ProtocolName(*protocol).empty() || !bits ||
            !Count(*tasmota, "Repeat", 1u << 16)) {
            return Skip(Ignored::WrongShape,
                        "IrReceived without a Protocol, or with Bits (at most 64) or Repeat "
                        "not a count");
        }
        const std::string name = ProtocolName(*protocol);
        const auto data = tasmota->find("Data");
        const auto value = data != tasmota->end() ? data : tasmota->find("Hash");
        std::optional<std::string> hex;
        if (value != tasmota->end()) {
            hex = CodeHex(*value, value == data ? *bits : 0);
        }
        if (NecRepeatFrame(name, *bits, hex)) {
            return RepeatFrame(topic, at);
        }
        if (!hex) {
            return Skip(Ignored::WrongShape, "IrReceived without a Data or Hash code of 64 bits");
        }
        std::string why;
        std::optional<Key> key = Key::FromName(name + "_" + *hex, why);
        return key ? Code(topic, std::move(*key), at) : Skip(Ignored::BadName, std::move(why));
    }
    if (json.contains("key")) {
        return Quorvel(json);
    }
    if (const auto value = json.find("value"); value != json.end()) {
        const std::string* protocol = TextField(json, "protocol_name");
        const std::optional<unsigned> bits = Count(json, "bits", LongestCodeBits);
        const auto hexField = json.find("hex");
        const std::optional<std::string> hex =
            CodeHex(hexField != json.end() ? *hexField : *value, bits.value_or(0));
        if (protocol == nullptr || ProtocolName(*protocol).empty() || !bits || !hex) {
            return Skip(Ignored::WrongShape,
                        "a value without a protocol_name, or without a code "
                        "of 64 bits, or bits not a count up to 64");
        }
        const std::string name = ProtocolName(*protocol);
        if (NecRepeatFrame(name, *bits, hex)) {
            return RepeatFrame(topic, at);
        }
        std::string why;
        std::optional<Key> key = Key::FromName(name + "_" + *hex, why);
        return key ? Code(topic, std::move(*key), at) : Skip(Ignored::BadName, std::move(why));
    }
    return Skip(Ignored::WrongShape, "no IrReceived, value or key");
}

Decoded MqttPayloadDecoder::Quorvel(const ::Json& json) {
    std::string why;
    bool badName = false;
    std::optional<KeyMessage> message = KeyMessage::Decode(json, why, badName);
    if (!message) {
        return Skip(badName ? Ignored::BadName : Ignored::WrongShape, std::move(why));
    }
    if (!message->from.empty() && !Fresh(message->from, message->seq)) {
        return Skip(Ignored::Duplicate);
    }
    return {std::move(message->event)};
}
