#include "mqtt/key_message.h"

#include <algorithm>
#include <cctype>

#include "mqtt/bridge_code.h"
#include "text/number_text.h"

namespace {

using Json = nlohmann::json;

bool Digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// text as a key of kind, or by its looks when kind is none; none, with why, when it is none
// (badName: as the rule for names refused it).
std::optional<Key> KeyOf(std::string_view text, const std::string* kind, std::string& why,
                         bool& badName) {
    const bool looks = kind == nullptr;
    if ((looks || *kind == "scancode") && text.starts_with(Key::ScanPrefix)) {
        const auto scancode = ParseNumber(text.substr(Key::ScanPrefix.size()));
        if (scancode && *scancode <= 0xffffffffUL) {
            return Key::Scancode(static_cast<std::uint32_t>(*scancode));
        }
    }
    if ((looks && Digits(text)) || (!looks && *kind == "code")) {
        const auto code = Digits(text) ? ParseNumber(text) : std::nullopt;
        if (code && *code <= 255) {
            return Key::Code(static_cast<int>(*code));
        }
        why = "a code that is no number up to 255";
        return std::nullopt;
    }
    if (looks || *kind == "name") {
        std::optional<Key> named = Key::FromName(text, why);
        badName = !named;
        return named;
    }
    why = "a key that is no " + (kind->size() <= 8 ? *kind : std::string("kind known"));
    return std::nullopt;
}

}  // namespace

const char* KeyMessage::ActionText(KeyAction action) {
    return action == KeyAction::Press    ? "press"
           : action == KeyAction::Repeat ? "repeat"
                                         : "release";
}

const char* KeyMessage::KindText(Key::Kind kind) {
    return kind == Key::Kind::Code ? "code" : kind == Key::Kind::Name ? "name" : "scancode";
}

std::string KeyMessage::Encode(const KeyEvent& event, std::string_view source,
                               const std::string& from, std::uint64_t seq) {
    Json json{{"key", event.key.Text()},
              {"kind", KindText(event.key.GetKind())},
              {"action", ActionText(event.action)},
              {"remote", event.remote},
              {"source", source},
              {"from", from},
              {"seq", seq}};
    if (event.scancode) {
        json["scancode"] = *event.scancode;
    }
    return json.dump();
}

std::optional<KeyMessage> KeyMessage::Decode(const Json& json, std::string& why, bool& badName) {
    badName = false;
    const std::string* key = TextField(json, "key");
    const std::string* action = TextField(json, "action");
    const std::string* remote = TextField(json, "remote");
    const std::string* source = TextField(json, "source");
    const std::string* kind = TextField(json, "kind");
    const std::string* from = TextField(json, "from");
    const auto text = [&json](const char* field, const std::string* value) {
        return !json.contains(field) || value != nullptr;
    };
    const auto seq = json.find("seq");
    const auto scancode = json.find("scancode");
    std::optional<KeyAction> act;
    for (const KeyAction a : {KeyAction::Press, KeyAction::Repeat, KeyAction::Release}) {
        if (action != nullptr && *action == ActionText(a)) {
            act = a;
        }
    }
    if (key == nullptr || !act || !text("remote", remote) || !text("source", source) ||
        !text("kind", kind) || !text("from", from) || (from != nullptr) != (seq != json.end()) ||
        (seq != json.end() && !seq->is_number_unsigned()) ||
        (scancode != json.end() &&
         (!scancode->is_number_unsigned() || scancode->get<std::uint64_t>() > 0xffffffffU))) {
        why = "a key without an action press, repeat or release, or a field of the wrong type";
        return std::nullopt;
    }
    std::optional<Key> named = KeyOf(*key, kind, why, badName);
    if (named && remote != nullptr && !remote->empty()) {
        why = Key::WhyNotAName(*remote);
        badName = !why.empty();
    }
    if (!named || badName) {
        return std::nullopt;
    }
    KeyMessage message{KeyEvent{*act, std::move(*named)}, {}, 0};
    message.event.remote = remote != nullptr ? *remote : std::string();
    if (scancode != json.end() && message.event.key.GetKind() == Key::Kind::Name) {
        message.event.scancode = static_cast<std::uint32_t>(scancode->get<std::uint64_t>());
    }
    // The kernel's input devices say when a key goes up.
    message.event.releases = source != nullptr && *source == "input";
    if (from != nullptr) {
        message.from = *from;
        message.seq = seq->get<std::uint64_t>();
    }
    return message;
}
