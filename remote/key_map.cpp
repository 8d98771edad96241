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
            named[key.action].push_back(Key::Name(std::string(key.name)));
        }
        for (const auto& [action, keys] : named) {
            const bool seeks =
                action == PlayerAction::SeekForward || action == PlayerAction::SeekBackward;
            map.Bind(Kind::Press, keys, PlayerRequest{action, seeks ? DefaultSeekSeconds : 0});
        }
        for (const std::string_view name : BuiltinHeldNames) {
            const Key key = Key::Name(std::string(name));
            map.Bind(Kind::Held, {key}, *map.Find(Kind::Press, key));
        }
        return map;
    }();
    return standard;
}

bool GlobMatches(std::string_view glob, std::string_view name) {
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    // The classic walk: on a mismatch, the last "*" takes one more character.
    std::size_t g = 0;
    std::size_t n = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (g < glob.size() &&
            (glob[g] == '?' || (glob[g] != '*' && lower(glob[g]) == lower(name[n])))) {
            ++g;
            ++n;
        } else if (g < glob.size() && glob[g] == '*') {
            star = g++;
            resume = n;
        } else if (star != std::string_view::npos) {
            g = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') {
        ++g;
    }
    return g == glob.size();
}

std::string ModeText(const std::string& mode) {
    return mode.empty() ? std::string("MODE") : "MODE " + mode;
}

std::string ActionText(const PlayerRequest& request) {
    return request.action == PlayerAction::Mode ? ModeText(request.command)
                                                : ActionText(request.action);
}

const KeyMap::Slot* KeyMap::SlotFor(const Slots& table, const KeyEvent& event, bool nothing) {
    const auto usable = [nothing](const Slot* slot) {
        return slot != nullptr && (nothing || slot->binding);
    };
    // A key's own scancode, and a key bound for the remote that sent it, go before the
    // key's name.
    if (event.scancode) {
        if (const Slot* slot = Lookup(table, Key::Scancode(*event.scancode)); usable(slot)) {
            return slot;
        }
    }
    if (!event.remote.empty() && event.key.GetKind() == Key::Kind::Name) {
        const Slot* slot = Lookup(table, Key::Name(event.remote + ':' + event.key.NameValue()));
        if (usable(slot)) {
            return slot;
        }
    }
    const Slot* slot = Lookup(table, event.key);
    return usable(slot) ? slot : nullptr;
}

bool KeyMap::Binds(const Layer& layer, const KeyEvent& event) {
    return std::any_of(layer.kinds.begin(), layer.kinds.end(),
                       [&](const Slots& table) { return SlotFor(table, event, true) != nullptr; });
}

const KeyMap::Layer& KeyMap::LayerFor(const KeyEvent& event, const KeyContext& context) const {
    if (layers_.size() == 1) {
        return layers_.front();
    }
    const auto playerMatches = [&](const KeySection& section) {
        return std::any_of(
            context.player.begin(), context.player.end(),
            [&](const std::string& name) { return GlobMatches(section.player, name); });
    };
    // Mode with player, then mode, then player.
    for (int round = 0; round < 3; ++round) {
        for (auto layer = layers_.begin() + 1; layer != layers_.end(); ++layer) {
            const KeySection& section = layer->section;
            const bool modeFits = !section.mode.empty() && section.mode == context.mode;
            const bool fits = round == 0
                                  ? modeFits && !section.player.empty() && playerMatches(section)
                              : round == 1 ? modeFits && section.player.empty()
                                           : section.mode.empty() && playerMatches(section);
            if (fits && Binds(*layer, event)) {
                return *layer;
            }
        }
    }
    return layers_.front();
}

KeyEffect KeyMap::Decode(const KeyEvent& event, const KeyContext& context) const {
    const bool held = event.action == KeyAction::Repeat;
    const Layer& layer = LayerFor(event, context);
    const auto table = [&](Kind kind) -> const Slots& {
        return layer.kinds[static_cast<std::size_t>(kind)];
    };
    KeyEffect effect{(held ? RepeatText : "") + event.key.Text(), std::nullopt, {}, std::nullopt};
    const Slot* twice = SlotFor(table(Kind::Double), event, true);
    const Slot* hold = SlotFor(table(Kind::Long), event, true);
    const Slot* own = SlotFor(table(held ? Kind::Held : Kind::Press), event, false);
    if (twice != nullptr || hold != nullptr) {
        const auto gesture = [](const Slot* slot) -> std::optional<GestureAction> {
            if (slot == nullptr) {
                return std::nullopt;
            }
            return GestureAction{slot->binding, slot->text, slot->hold.delayMs};
        };
        effect.gestures = Gestures{gesture(SlotFor(table(Kind::Press), event, true)),
                                   gesture(twice), gesture(hold)};
        if (!held) {
            return effect;  // the tap waits
        }
    }
    if (own != nullptr) {
        effect.text = own->text;
        effect.request = own->binding;
        effect.hold = own->hold;
    }
    return effect;
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

const KeyMap::Layer* KeyMap::FindLayer(const KeySection& section) const {
    const auto found = std::find_if(layers_.begin(), layers_.end(),
                                    [&](const Layer& layer) { return layer.section == section; });
    return found != layers_.end() ? &*found : nullptr;
}

KeyMap::Layer& KeyMap::LayerOf(const KeySection& section) {
    if (const Layer* layer = FindLayer(section)) {
        return const_cast<Layer&>(*layer);
    }
    Layer& layer = layers_.emplace_back();
    layer.section = section;
    return layer;
}

const KeyMap::Binding* KeyMap::Find(Kind kind, const Key& key, const KeySection& section) const {
    const Layer* layer = FindLayer(section);
    const Slot* slot =
        layer != nullptr ? Lookup(layer->kinds[static_cast<std::size_t>(kind)], key) : nullptr;
    return slot != nullptr ? &slot->binding : nullptr;
}

bool KeyMap::Bind(Kind kind, const std::vector<Key>& keys, Binding binding, HoldShape hold,
                  const KeySection& section) {
    if (keys.empty()) {
        return false;
    }
    for (auto key = keys.begin(); key != keys.end(); ++key) {
        if ((key->GetKind() == Key::Kind::Code &&
             (key->CodeValue() < 0 || key->CodeValue() > 255)) ||
            std::find(keys.begin(), key, *key) != key || Find(kind, *key, section) != nullptr) {
            return false;
        }
    }
    // Made once here rather than at every key press.
    std::string text;
    if (binding) {
        text = (kind == Kind::Held ? RepeatText : "") + ActionText(*binding);
    }
    const Key lead = *std::min_element(keys.begin(), keys.end());
    Slots& table = LayerOf(section).kinds[static_cast<std::size_t>(kind)];
    for (const Key& key : keys) {
        Place(table, key) = {true, binding, text, hold, lead};
    }
    return true;
}

bool KeyMap::HasRunBindings() const {
    bool found = false;
    for (const Layer& layer : layers_) {
        for (const Kind kind : {Kind::Press, Kind::Held, Kind::Double, Kind::Long}) {
            ForEachBound(layer, kind, [&](const Key&, const Slot& slot) {
                found = found || (slot.binding && slot.binding->action == PlayerAction::Run);
            });
        }
    }
    return found;
}

bool KeyMap::FollowsPlayer() const {
    return std::any_of(layers_.begin(), layers_.end(),
                       [](const Layer& layer) { return !layer.section.player.empty(); });
}

bool KeyMap::HasMode(std::string_view mode) const {
    return std::any_of(layers_.begin(), layers_.end(),
                       [&](const Layer& layer) { return layer.section.mode == mode; });
}
