#include "keymap/key_map.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>
#include <vector>

#include "keymap/builtin_keys.h"

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A letter in lower case, for Latin (up to Latin Extended-A), Greek and Cyrillic: the
// one-to-one mappings, as a file system compares names case aside.
char32_t Folded(char32_t c) {
    const auto in = [c](char32_t first, char32_t last) { return c >= first && c <= last; };
    if (in(U'A', U'Z') || (in(0xC0, 0xDE) && c != 0xD7) || in(0x391, 0x3AB) || in(0x410, 0x42F)) {
        return c + 32;
    }
    if (in(0x400, 0x40F)) {
        return c + 80;
    }
    // Runs where a capital and its small letter are an even code point and the next.
    if ((in(0x100, 0x137) && c != 0x130) || in(0x14A, 0x177) || in(0x460, 0x481) ||
        in(0x48A, 0x4BF) || in(0x4D0, 0x52F)) {
        return c | 1;
    }
    // ... and an odd one and the next.
    if (in(0x139, 0x148) || in(0x179, 0x17E) || in(0x4C1, 0x4CE)) {
        return c + (c & 1);
    }
    if (in(0x388, 0x38A) || in(0x38E, 0x38F)) {
        return c + (c < 0x38E ? 37 : 63);
    }
    // The rest one by one, and the final sigma as sigma.
    constexpr std::pair<char32_t, char32_t> Others[] = {{0x130, U'i'},  {0x178, 0xFF},
                                                        {0x386, 0x3AC}, {0x38C, 0x3CC},
                                                        {0x3C2, 0x3C3}, {0x4C0, 0x4CF}};
    for (const auto& [from, to] : Others) {
        if (c == from) {
            return to;
        }
    }
    return c;
}

// text's code points folded; a byte that is not UTF-8 stands for itself, above them all.
std::vector<char32_t> FoldedCodePoints(std::string_view text) {
    constexpr char32_t NotUtf8 = 0x110000;
    std::vector<char32_t> points;
    points.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
        char32_t point = length < 2 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if (i + k >= text.size() || !IsContinuation(text[i + k])) {
                length = 0;
                break;
            }
            point = point << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        // Too long a form, a surrogate, or past the last code point.
        if ((length == 3 && (point < 0x800 || (point >= 0xD800 && point < 0xE000))) ||
            (length == 4 && (point < 0x10000 || point > 0x10FFFF))) {
            length = 0;
        }
        points.push_back(length == 0 ? NotUtf8 + lead : Folded(point));
        i += std::max<std::size_t>(length, 1);
    }
    return points;
}

}  // namespace

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
    if (name.size() > LongestMatchedName) {
        std::size_t end = LongestMatchedName;
        for (int back = 0; back < 3 && IsContinuation(name[end]); ++back) {
            --end;
        }
        name = name.substr(0, end);
    }
    const std::vector<char32_t> pattern = FoldedCodePoints(glob);
    const std::vector<char32_t> text = FoldedCodePoints(name);
    // Whether the glob's pattern[from, to) matches text at at.
    const auto fits = [&](std::size_t from, std::size_t to, std::size_t at) {
        for (std::size_t i = from; i < to; ++i, ++at) {
            if (pattern[i] != U'?' && pattern[i] != text[at]) {
                return false;
            }
        }
        return true;
    };
    const auto star = [&](std::size_t from) {
        return static_cast<std::size_t>(std::find(pattern.begin() + from, pattern.end(), U'*') -
                                        pattern.begin());
    };
    const std::size_t head = star(0);
    if (head == pattern.size()) {
        return pattern.size() == text.size() && fits(0, head, 0);
    }
    // The pieces between stars, each at its first place after the one before, with the
    // first piece at the start and the last at the end: with only * and ?, a first place
    // is never worse than a later one, so the name is walked once, piece after piece.
    std::size_t lastStar = head;
    for (std::size_t next = head; next < pattern.size(); next = star(next + 1)) {
        lastStar = next;
    }
    const std::size_t tail = pattern.size() - lastStar - 1;
    if (head + tail > text.size() || !fits(0, head, 0) ||
        !fits(lastStar + 1, pattern.size(), text.size() - tail)) {
        return false;
    }
    std::size_t at = head;
    const std::size_t end = text.size() - tail;
    for (std::size_t from = head + 1; from < lastStar; from = star(from) + 1) {
        const std::size_t length = star(from) - from;
        while (at + length <= end && !fits(from, from + length, at)) {
            ++at;
        }
        if (at + length > end) {
            return false;
        }
        at += length;
    }
    return true;
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
    if (key.GetKind() == Key::Kind::Code && !table.codes.empty()) {
        slot = &table.codes[static_cast<std::size_t>(key.CodeValue())];
    } else if (const auto found = table.others.find(key); found != table.others.end()) {
        slot = &found->second;
    }
    return slot != nullptr && slot->bound ? slot : nullptr;
}

KeyMap::Slot& KeyMap::Place(Slots& table, const Key& key) {
    if (key.GetKind() == Key::Kind::Code && !table.codes.empty()) {
        return table.codes[static_cast<std::size_t>(key.CodeValue())];
    }
    return table.others[key];
}

const KeyMap::Layer* KeyMap::FindLayer(const KeySection& section) const {
    const auto found = layerIndex_.find(section);
    return found != layerIndex_.end() ? &layers_[found->second] : nullptr;
}

KeyMap::Layer& KeyMap::LayerOf(const KeySection& section) {
    const auto [found, added] = layerIndex_.emplace(section, layers_.size());
    if (added) {
        layers_.emplace_back().section = section;
    }
    return layers_[found->second];
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
    Layer& layer = LayerOf(section);
    Slots& table = layer.kinds[static_cast<std::size_t>(kind)];
    if (&layer == &layers_.front() && table.codes.empty() &&
        std::any_of(keys.begin(), keys.end(),
                    [](const Key& key) { return key.GetKind() == Key::Kind::Code; })) {
        table.codes.resize(256);
    }
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
    // The sections of a mode come together in the index, from the one without a player.
    const auto first = layerIndex_.lower_bound(KeySection{std::string(mode), {}});
    return first != layerIndex_.end() && first->first.mode == mode;
}
