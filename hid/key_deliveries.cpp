#include "hid/key_deliveries.h"

#include <algorithm>
#include <string>

#include "hid/media_keys.h"

namespace {

Key NameOf(const MediaKey& key) {
    return Key::Name(std::string(key.name));
}

// Either side: the ways' events arrive in any order.
bool Within(std::uint32_t time, std::uint32_t other, std::uint32_t window) {
    return static_cast<std::uint32_t>(time - other) <= window ||
           static_cast<std::uint32_t>(other - time) <= window;
}

// How long before now time was; 0 for a time after now (the times wrap).
std::uint32_t Age(std::uint32_t now, std::uint32_t time) {
    const auto age = static_cast<std::uint32_t>(now - time);
    return age < 0x80000000u ? age : 0;
}

// The virtual key of a key named as MediaKeys names it; 0 for none.
unsigned VirtualKeyOf(const Key& key) {
    if (key.GetKind() != Key::Kind::Name) {
        return 0;
    }
    for (const MediaKey& row : MediaKeys) {
        if (row.virtualKey != 0 && row.name == key.NameValue()) {
            return row.virtualKey;
        }
    }
    return 0;
}

// The one the same keystroke is, else (unless kept: no Raw Input follows a kept one on
// Windows) the earliest of the key and direction.
template <typename Entries>
typename Entries::iterator Match(Entries& entries, unsigned virtualKey, bool up, std::uint32_t time,
                                 bool exactOnly) {
    const auto same = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return entry.virtualKey == virtualKey && entry.up == up && entry.time == time;
    });
    if (same != entries.end() || exactOnly) {
        return same;
    }
    return std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
        return entry.virtualKey == virtualKey && entry.up == up;
    });
}

}  // namespace

void KeyDeliveries::Hooked(unsigned virtualKey, bool up, bool ours, bool kept, std::uint32_t time,
                           std::vector<KeyEvent>& out) {
    const MediaKey* key = FindMediaKeyByVirtualKey(virtualKey);
    if (key == nullptr) {
        return;
    }
    if (kept && !ours) {
        Take(Hook, NameOf(*key), key->hid.Scancode(), up, time, out);
    }
    // Calls older than any keystroke still to come are done with (a kept one's never comes).
    std::erase_if(calls_, [&](const Call& call) { return Age(time, call.time) > MatchWindow; });
    const auto stroke = Match(strokes_, virtualKey, up, time, kept);
    if (stroke == strokes_.end()) {
        calls_.push_back({virtualKey, up, time, kept});
        return;
    }
    const Stroke waited = *stroke;
    strokes_.erase(stroke);
    Settle(waited, kept, out);
}

void KeyDeliveries::Delivered(unsigned virtualKey, bool up, bool ours, bool chosen,
                              std::uint32_t time, std::vector<KeyEvent>& out) {
    if (FindMediaKeyByVirtualKey(virtualKey) == nullptr) {
        return;
    }
    const Stroke stroke{virtualKey, up, ours, chosen, time};
    if (!grabbing_) {
        Settle(stroke, false, out);
        return;
    }
    // A kept call matches only its own keystroke (under Wine); Raw Input brings every one
    // the hook passed.
    auto call = Match(calls_, virtualKey, up, time, true);
    if (call == calls_.end()) {
        call = std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) {
            return c.virtualKey == virtualKey && c.up == up && !c.kept;
        });
    }
    if (call == calls_.end()) {
        strokes_.push_back(stroke);  // its call is yet to come
        return;
    }
    const bool kept = call->kept;
    calls_.erase(call);
    Settle(stroke, kept, out);
}

void KeyDeliveries::Settle(const Stroke& stroke, bool kept, std::vector<KeyEvent>& out) {
    const MediaKey* key = FindMediaKeyByVirtualKey(stroke.virtualKey);
    if (!stroke.ours && stroke.chosen && !kept) {
        Take(Keystroke, NameOf(*key), key->hid.Scancode(), stroke.up, stroke.time, out);
    }
}

bool KeyDeliveries::Expire(std::uint32_t now, std::vector<KeyEvent>& out) {
    std::erase_if(calls_, [&](const Call& call) { return Age(now, call.time) > MatchWindow; });
    bool missed = false;
    for (auto stroke = strokes_.begin(); stroke != strokes_.end();) {
        if (Age(now, stroke->time) <= MatchWindow) {
            ++stroke;
            continue;
        }
        const Stroke waited = *stroke;
        stroke = strokes_.erase(stroke);
        Settle(waited, false, out);
        missed = true;
    }
    return missed;
}

std::optional<std::uint32_t> KeyDeliveries::NextExpiry() const {
    if (strokes_.empty()) {
        return std::nullopt;
    }
    // The first to come waited longest.
    return strokes_.front().time + MatchWindow + 1;
}

void KeyDeliveries::HookReplaced(std::vector<KeyEvent>& out) {
    calls_.clear();
    while (!strokes_.empty()) {
        const Stroke waited = strokes_.front();
        strokes_.pop_front();
        Settle(waited, false, out);
    }
    Drop(Hook, out);
}

void KeyDeliveries::Reported(const std::vector<KeyEvent>& events, std::uint32_t time,
                             std::vector<KeyEvent>& out) {
    for (const KeyEvent& event : events) {
        Take(Report, event.key, event.scancode, event.action == KeyAction::Release, time, out);
    }
}

void KeyDeliveries::Drop(Way way, std::vector<KeyEvent>& out) {
    std::vector<std::pair<Key, std::optional<std::uint32_t>>> dropped;
    for (const auto& [key, held] : held_) {
        if ((held.ways & way) != 0) {
            dropped.emplace_back(key, held.scancode);
        }
    }
    for (const auto& [key, scancode] : dropped) {
        Take(way, key, scancode, true, 0, out);
    }
}

void KeyDeliveries::Take(Way way, const Key& key, std::optional<std::uint32_t> scancode, bool up,
                         std::uint32_t time, std::vector<KeyEvent>& out) {
    const auto event = [&](KeyAction action) {
        out.push_back(KeyEvent{action, key, {}, scancode, false, false, true});
    };
    auto found = held_.find(key);
    if (up) {
        if (found == held_.end() || (found->second.ways & way) == 0) {
            return;
        }
        Held& held = found->second;
        held.ways &= ~way;
        if (held.ways == 0) {
            if (!held.echo) {
                event(KeyAction::Release);
            }
            ended_[key] = {held.ever, time};
            held_.erase(found);
        }
        Tell(key);
        return;
    }
    if (found == held_.end()) {
        const auto ended = ended_.find(key);
        // A report's press that just ended brought again as a keystroke, or the other way
        // round (the hook and Raw Input's keystroke are matched, never echoes).
        const unsigned kin = way == Report ? Report : Hook | Keystroke;
        const bool echo = ended != ended_.end() && (ended->second.ways & kin) == 0 &&
                          Within(time, ended->second.time, EchoWindow);
        found =
            held_.emplace(key, Held{0, echo ? ended->second.ways : 0u, 0, echo, scancode}).first;
        if (!echo) {
            event(KeyAction::Press);
        }
    } else if ((found->second.ways & way) != 0 && found->second.repeater == way &&
               !found->second.echo) {
        event(KeyAction::Repeat);
    }
    Held& held = found->second;
    held.ways |= way;
    held.ever |= way;
    if (held.repeater == 0 && way != Report) {
        held.repeater = way;
    }
    Tell(key);
}

void KeyDeliveries::Tell(const Key& key) {
    const unsigned virtualKey = facts_ != nullptr ? VirtualKeyOf(key) : 0;
    if (virtualKey == 0) {
        return;
    }
    const auto held = held_.find(key);
    const auto ended = ended_.find(key);
    facts_->SetReport(virtualKey, held != held_.end() && (held->second.ever & Report) != 0,
                      ended != ended_.end() && (ended->second.ways & Report) != 0
                          ? std::optional(ended->second.time)
                          : std::nullopt);
}
