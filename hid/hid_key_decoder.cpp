#include "hid/hid_key_decoder.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

bool Holds(const std::vector<HidUsage>& usages, HidUsage usage) {
    return std::find(usages.begin(), usages.end(), usage) != usages.end();
}

// As the input devices' events: a named key carries its scancode.
KeyEvent Event(KeyAction action, HidUsage usage) {
    if (const MediaKey* named = FindMediaKey(usage)) {
        return KeyEvent{action, Key::Name(std::string(named->name)), {}, usage.Scancode()};
    }
    return KeyEvent{action, Key::Scancode(usage.Scancode()), {}, std::nullopt};
}

}  // namespace

void HidKeyDecoder::Take(std::uint8_t reportId, std::span<const HidUsage> on,
                         std::vector<KeyEvent>& out) {
    std::vector<HidUsage> now;
    for (const HidUsage usage : on) {
        // An array may list a usage twice, in two of its slots.
        if (usage.usage != 0 && !Holds(now, usage)) {
            now.push_back(usage);
        }
    }
    std::vector<HidUsage>& down = down_[reportId];
    for (const HidUsage usage : down) {
        if (!Holds(now, usage)) {
            out.push_back(Event(KeyAction::Release, usage));
        }
    }
    std::erase_if(down, [&now](HidUsage usage) { return !Holds(now, usage); });
    for (const HidUsage usage : now) {
        if (!Holds(down, usage)) {
            out.push_back(Event(KeyAction::Press, usage));
            down.push_back(usage);
        }
    }
    if (down.empty()) {
        down_.erase(reportId);
    }
}

void HidKeyDecoder::ReleaseAll(std::vector<KeyEvent>& out) {
    for (const auto& [id, usages] : down_) {
        for (const HidUsage usage : usages) {
            out.push_back(Event(KeyAction::Release, usage));
        }
    }
    down_.clear();
}
