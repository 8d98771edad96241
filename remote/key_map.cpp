#include "remote/key_map.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "remote/builtin_keys.h"

std::string ActionText(PlayerAction action) {
    for (const BuiltinKey& key : BuiltinKeys) {
        if (key.action == action) {
            return key.text;
        }
    }
    std::string text(ActionName(action));
    for (char& c : text) {
        c = c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text + "!";
}

const KeyMap& KeyMap::Standard() {
    static const KeyMap standard = [] {
        KeyMap map;
        for (const BuiltinKey& key : BuiltinKeys) {
            map.Bind(Kind::Press, {Key::Code(key.code)}, PlayerRequest{key.action});
        }
        for (const int code : BuiltinHeldCodes) {
            map.Bind(Kind::Held, {Key::Code(code)}, *map.Find(Kind::Press, Key::Code(code)));
        }
        // One binding an action, as a key map would write it.
        std::map<PlayerAction, std::vector<Key>> named;
        for (const BuiltinNamedKey& key : BuiltinNamedKeys) {
            named[key.action].push_back(Key::Name(key.name));
        }
        for (const auto& [action, keys] : named) {
            const bool seeks =
                action == PlayerAction::SeekForward || action == PlayerAction::SeekBackward;
            map.Bind(Kind::Press, keys, PlayerRequest{action, seeks ? DefaultSeekSeconds : 0});
        }
        for (const char* name : BuiltinHeldNames) {
            map.Bind(Kind::Held, {Key::Name(name)}, *map.Find(Kind::Press, Key::Name(name)));
        }
        return map;
    }();
    return standard;
}

KeyEffect KeyMap::Decode(const KeyEvent& event) const {
    const bool held = event.action == KeyAction::Repeat;
    const Kind kind = held ? Kind::Held : Kind::Press;
    // A key's own scancode, and a key bound for the remote that sent it, go before the
    // key's name.
    if (event.scancode) {
        const Slot* slot = Lookup(SlotsOf(kind), Key::Scancode(*event.scancode));
        if (slot != nullptr && slot->binding) {
            return {slot->text, *slot->binding, slot->hold};
        }
    }
    if (!event.remote.empty() && event.key.GetKind() == Key::Kind::Name) {
        const Slot* slot =
            Lookup(SlotsOf(kind), Key::Name(event.remote + ':' + event.key.NameValue()));
        if (slot != nullptr && slot->binding) {
            return {slot->text, *slot->binding, slot->hold};
        }
    }
    if (const Slot* slot = Lookup(SlotsOf(kind), event.key); slot != nullptr && slot->binding) {
        return {slot->text, *slot->binding, slot->hold};
    }
    return {(held ? RepeatText : "") + event.key.Text(), std::nullopt, {}};
}

const KeyMap::Slot* KeyMap::Lookup(const Slots& table, const Key& key) {
    const Slot* slot = nullptr;
    if (key.GetKind() == Key::Kind::Code) {
        slot = &table.codes[static_cast<std::size_t>(key.CodeValue())];
    } else if (const auto found = table.others.find(key); found != table.others.end()) {
        slot = &found->second;
    }
    return slot != nullptr && slot->bound ? slot : nullptr;
}

KeyMap::Slot& KeyMap::Place(Slots& table, const Key& key) {
    if (key.GetKind() == Key::Kind::Code) {
        return table.codes[static_cast<std::size_t>(key.CodeValue())];
    }
    return table.others[key];
}

const KeyMap::Binding* KeyMap::Find(Kind kind, const Key& key) const {
    const Slot* slot = Lookup(SlotsOf(kind), key);
    return slot != nullptr ? &slot->binding : nullptr;
}

bool KeyMap::Bind(Kind kind, const std::vector<Key>& keys, Binding binding, HoldShape hold) {
    if (keys.empty()) {
        return false;
    }
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        if ((key->GetKind() == Key::Kind::Code &&
             (key->CodeValue() < 0 || key->CodeValue() > 255)) ||
            std::find(keys.begin(), key, *key) != key || Find(kind, *key) != nullptr) {
            return false;
        }
    }
    // Made once here rather than at every key press.
    std::string text;
    if (binding) {
        text = (kind == Kind::Held ? RepeatText : "") + ActionText(binding->action);
    }
    const Key lead = *std::min_element(keys.begin(), keys.end());
    for (const Key& key : keys) {
        Place(SlotsOf(kind), key) = {true, binding, text, hold, lead};
    }
    return true;
}

bool KeyMap::HasRunBindings() const {
    bool found = false;
    for (const Kind kind : {Kind::Press, Kind::Held}) {
        ForEachBound(kind, [&](const Key&, const Slot& slot) {
            found = found || (slot.binding && slot.binding->action == PlayerAction::Run);
        });
    }
    return found;
}
