#include "mqtt/mqtt_payload_decoder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "text/number_text.h"

namespace {

using Json = nlohmann::json;
using Decoded = MqttPayloadDecoder::Decoded;
using Ignored = MqttPayloadDecoder::Ignored;

Decoded Skip(Ignored why, std::string detail = {}) {
    return {std::nullopt, why, std::move(detail)};
}

// The protocol as a key name starts: capitals, digits and _ only, starting with a letter.
std::string ProtocolName(std::string_view protocol) {
    std::string name;
    for (const char c : protocol) {
        name += std::isalnum(static_cast<unsigned char>(c)) != 0
                    ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                    : '_';
    }
    if (!name.empty() && std::isalpha(static_cast<unsigned char>(name.front())) == 0) {
        name.insert(0, "IR_");
    }
    return name;
}

// A code's capital hex digits, as many as bits take (at least one); none when value is no
// code: an unsigned number, or text in decimal or 0x hex (of any length).
std::optional<std::string> CodeHex(const Json& value, unsigned bits) {
    std::string digits;
    if (value.is_number_unsigned()) {
        char text[17];
        std::snprintf(text, sizeof text, "%llX",
                      static_cast<unsigned long long>(value.get<std::uint64_t>()));
        digits = text;
    } else if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        if (text.starts_with("0x") || text.starts_with("0X")) {
            digits = text.substr(2);
            if (digits.empty() || digits.size() > 128 ||
                !std::all_of(digits.begin(), digits.end(),
                             [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); })) {
                return std::nullopt;
            }
            std::transform(digits.begin(), digits.end(), digits.begin(), [](char c) {
                return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            });
        } else {
            const auto number = ParseNumber(text);
            if (!number) {
                return std::nullopt;
            }
            return CodeHex(Json(static_cast<std::uint64_t>(*number)), bits);
        }
    } else {
        return std::nullopt;
    }
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
    digits.erase(0, first);
    const std::size_t wide = (bits + 3) / 4;
    if (digits.size() < wide) {
        digits.insert(0, wide - digits.size(), '0');
    }
    return digits;
}

// A count given as an unsigned number, or 0 when there is none.
std::optional<unsigned> Count(const Json& object, const char* field) {
    const auto found = object.find(field);
    if (found == object.end()) {
        return 0u;
    }
    if (!found->is_number_unsigned() || found->get<std::uint64_t>() > 1u << 16) {
        return std::nullopt;
    }
    return static_cast<unsigned>(found->get<std::uint64_t>());
}

// NEC's repeat frame, as the bridges report it: no bits, or a code of all ones.
bool NecRepeatFrame(const std::string& protocol, unsigned bits,
                    const std::optional<std::string>& hex) {
    return protocol.starts_with("NEC") &&
           (bits == 0 ||
            (hex && hex->size() >= 8 && hex->find_first_not_of('F') == std::string::npos));
}

const std::string* Text(const Json& object, const char* field) {
    const auto found = object.find(field);
    return found != object.end() && found->is_string() ? &found->get_ref<const std::string&>()
                                                       : nullptr;
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
    }
    return "a message";
}

const char* MqttPayloadDecoder::ActionText(KeyAction action) {
    return action == KeyAction::Press    ? "press"
           : action == KeyAction::Repeat ? "repeat"
                                         : "release";
}

std::optional<Key> MqttPayloadDecoder::KeyFromText(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.starts_with(Key::ScanPrefix)) {
        const auto scancode = ParseNumber(text.substr(Key::ScanPrefix.size()));
        if (!scancode || *scancode > 0xffffffffUL) {
            return std::nullopt;
        }
        return Key::Scancode(static_cast<std::uint32_t>(*scancode));
    }
    if (std::all_of(text.begin(), text.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)); })) {
        const auto code = ParseNumber(text);
        if (!code || *code > 255) {
            return std::nullopt;
        }
        return Key::Code(static_cast<int>(*code));
    }
    return Key::Name(std::string(text));
}

Decoded MqttPayloadDecoder::Code(Key key, bool repeat, TimePoint at) {
    repeat = repeat || (last_ == key && at - lastAt_ <= RepeatGap);
    last_ = key;
    lastAt_ = at;
    return {KeyEvent{repeat ? KeyAction::Repeat : KeyAction::Press, std::move(key)}};
}

Decoded MqttPayloadDecoder::Decode(std::string_view topic, std::string_view payload, bool retained,
                                   TimePoint at) {
    if (topic == ownTopic_) {
        return Skip(Ignored::Own);
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

    if (payload.front() != '{' && payload.front() != '[') {
        // Plain text: the key's name.
        if (payload.size() > LongestText || std::any_of(payload.begin(), payload.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
            })) {
            return Skip(Ignored::Malformed, payload.size() > LongestText
                                                ? "text over 64 bytes"
                                                : "text with control characters");
        }
        return Code(Key::Name(std::string(payload)), false, at);
    }
    Json json;
    try {
        json = Json::parse(payload);
    } catch (const Json::parse_error& error) {
        return Skip(Ignored::Malformed, "no JSON at byte " + std::to_string(error.byte));
    }
    if (!json.is_object()) {
        return Skip(Ignored::WrongShape, "not an object");
    }

    if (const auto tasmota = json.find("IrReceived"); tasmota != json.end()) {
        if (!tasmota->is_object()) {
            return Skip(Ignored::WrongShape, "IrReceived is not an object");
        }
        const std::string* protocol = Text(*tasmota, "Protocol");
        const std::optional<unsigned> bits = Count(*tasmota, "Bits");
        const std::optional<unsigned> repeat = Count(*tasmota, "Repeat");
        if (protocol == nullptr || ProtocolName(*protocol).empty() || !bits || !repeat) {
            return Skip(Ignored::WrongShape,
                        "IrReceived without a Protocol, or with Bits or Repeat not a count");
        }
        const std::string name = ProtocolName(*protocol);
        const auto data = tasmota->find("Data");
        const auto hash = tasmota->find("Hash");
        const auto& value = data != tasmota->end() ? data : hash;
        std::optional<std::string> hex;
        if (value != tasmota->end()) {
            hex = CodeHex(*value, value == data ? *bits : 0);
        }
        if (NecRepeatFrame(name, *bits, hex)) {
            return RepeatFrame(at);
        }
        if (!hex) {
            return Skip(Ignored::WrongShape, "IrReceived without a Data or Hash code");
        }
        return Code(Key::Name(name + "_" + *hex), *repeat > 0, at);
    }

    if (const std::string* key = Text(json, "key"); key != nullptr) {
        const std::string* action = Text(json, "action");
        const std::string* remote = Text(json, "remote");
        const std::string* source = Text(json, "source");
        const std::optional<Key> named = KeyFromText(*key);
        std::optional<KeyAction> act;
        for (const KeyAction a : {KeyAction::Press, KeyAction::Repeat, KeyAction::Release}) {
            if (action != nullptr && *action == ActionText(a)) {
                act = a;
            }
        }
        if (!named || !act || (json.contains("remote") && remote == nullptr) ||
            (json.contains("source") && source == nullptr)) {
            return Skip(Ignored::WrongShape,
                        "a key without an action press, repeat or release, or not one");
        }
        KeyEvent event{*act, *named};
        event.remote = remote != nullptr ? *remote : std::string();
        // The kernel's input devices say when a key goes up.
        event.releases = source != nullptr && *source == "input";
        return {std::move(event)};
    }

    if (const auto value = json.find("value"); value != json.end()) {
        const std::string* protocol = Text(json, "protocol_name");
        const std::optional<unsigned> bits = Count(json, "bits");
        const auto hexField = json.find("hex");
        const std::optional<std::string> hex =
            CodeHex(hexField != json.end() ? *hexField : *value, bits.value_or(0));
        if (protocol == nullptr || ProtocolName(*protocol).empty() || !bits || !hex) {
            return Skip(Ignored::WrongShape,
                        "a value without a protocol_name, or without a code, or bits not a count");
        }
        const std::string name = ProtocolName(*protocol);
        if (NecRepeatFrame(name, *bits, hex)) {
            return RepeatFrame(at);
        }
        return Code(Key::Name(name + "_" + *hex), false, at);
    }
    return Skip(Ignored::WrongShape, "no IrReceived, value or key");
}

Decoded MqttPayloadDecoder::RepeatFrame(TimePoint at) {
    if (!last_ || at - lastAt_ > RepeatFrameReach) {
        return Skip(Ignored::NoKeyBefore);
    }
    return Code(*last_, true, at);
}
