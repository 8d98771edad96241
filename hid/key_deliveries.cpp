#include "hid/key_deliveries.h"

#include <algorithm>

#include "hid/media_keys.h"

namespace {

// The hook's calls kept for matching: far more than Raw Input ever lags behind.
constexpr std::size_t CallsKept = 64;

Key NameOf(const MediaKey& key) {
    return Key::Name(std::string(key.name));
}

// Either side: the ways' events arrive in any order.
bool Within(std::uint32_t time, std::uint32_t other, std::uint32_t window) {
    return static_cast<std::uint32_t>(time - other) <= window ||
           static_cast<std::uint32_t>(other - time) <= window;
}

}  // namespace

bool KeyDeliveries::Reporting(const Key& key, std::uint32_t time) const {
    const auto held = held_.find(key);
    if (held != held_.end() && (held->second.ever & Report) != 0) {
        return true;
    }
    const auto ended = ended_.find(key);
    return ended != ended_.end() && (ended->second.ways & Report) != 0 &&
           Within(time, ended->second.time, EchoWindow);
}

bool KeyDeliveries::Hooked(unsigned virtualKey, bool up, bool ours, std::uint32_t time,
                           std::vector<KeyEvent>& out) {
    const MediaKey* key = FindMediaKeyByVirtualKey(virtualKey);
    if (key == nullptr) {
        return false;
    }
    bool keep = grabbing_ && !ours && kept_.count(virtualKey) > 0;
    if (up) {
        kept_.erase(virtualKey);
    } else if (grabbing_ && !ours && !keep) {
        const auto last = lastChosen_.find(std::string(key->name));
        keep = everyKeyboard_ || everyKeyboardChosen_ || Reporting(NameOf(*key), time) ||
               (last != lastChosen_.end() && last->second);
        if (keep) {
            kept_.insert(virtualKey);
        }
    }
    calls_.push_back({virtualKey, up, time, keep});
    if (calls_.size() > CallsKept) {
        calls_.pop_front();
    }
    if (keep) {
        Take(Hook, NameOf(*key), key->hid.Scancode(), up, time, out);
    }
    return keep;
}

bool KeyDeliveries::Delivered(unsigned virtualKey, bool up, bool ours, bool chosen, bool fromDevice,
                              std::uint32_t time, std::vector<KeyEvent>& out) {
    const MediaKey* key = FindMediaKeyByVirtualKey(virtualKey);
    if (key == nullptr) {
        return true;
    }
    auto call = std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) {
        return c.virtualKey == virtualKey && c.up == up && c.time == time;
    });
    // Else the earliest the hook passed: Raw Input brings every keystroke it passed.
    if (call == calls_.end()) {
        call = std::find_if(calls_.begin(), calls_.end(), [&](const Call& c) {
            return c.virtualKey == virtualKey && c.up == up && !c.kept;
        });
    }
    const bool hooked = call != calls_.end() || !grabbing_;
    const bool taken = call != calls_.end() && call->kept;
    if (call != calls_.end()) {
        calls_.erase(call);
    }
    if (ours) {
        return hooked;
    }
    if (fromDevice && !up) {
        lastChosen_[std::string(key->name)] = chosen;
    }
    if (chosen && !taken) {
        Take(Keystroke, NameOf(*key), key->hid.Scancode(), up, time, out);
    }
    return hooked;
}

void KeyDeliveries::Reported(const std::vector<KeyEvent>& events, std::uint32_t time,
                             std::vector<KeyEvent>& out) {
    for (const KeyEvent& event : events) {
        if (event.key.GetKind() == Key::Kind::Name) {
            lastChosen_[event.key.NameValue()] = true;
        }
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
        return;
    }
    if (found == held_.end()) {
        const auto ended = ended_.find(key);
        // Another way bringing a press that just ended again.
        const bool echo = ended != ended_.end() && (ended->second.ways & way) == 0 &&
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
}
