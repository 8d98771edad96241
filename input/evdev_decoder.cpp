#include "input/evdev_decoder.h"

#include <linux/input-event-codes.h>

namespace {

constexpr int Released = 0;
constexpr int Pressed = 1;
constexpr int Repeated = 2;

}  // namespace

void EvdevDecoder::Take(const RawInputEvent& event, std::vector<KeyEvent>& out) {
    if (event.type == EV_SYN) {
        if (event.code == SYN_DROPPED) {
            dropping_ = true;
        } else if (event.code == SYN_REPORT && dropping_) {
            dropping_ = false;
            resyncDue_ = true;
        }
        scancode_.reset();
        return;
    }
    if (dropping_) {
        return;
    }
    if (event.type == EV_MSC && event.code == MSC_SCAN) {
        scancode_ = static_cast<std::uint32_t>(event.value);
        return;
    }
    if (event.type != EV_KEY) {
        return;
    }
    switch (event.value) {
        case Pressed:
            down_[event.code] = scancode_;
            out.push_back(Event(KeyAction::Press, event.code));
            break;
        case Repeated:
            // A repeat of a key not seen going down (it was down before we opened the
            // device) is that key's press.
            out.push_back(Event(down_.count(event.code) != 0 ? KeyAction::Repeat : KeyAction::Press,
                                event.code));
            down_.emplace(event.code, scancode_);
            break;
        case Released:
            if (down_.count(event.code) != 0) {
                out.push_back(Event(KeyAction::Release, event.code));
                down_.erase(event.code);
            }
            break;
        default:
            break;
    }
}

void EvdevDecoder::Resync(const std::set<unsigned>& down, std::vector<KeyEvent>& out) {
    resyncDue_ = false;
    for (auto key = down_.begin(); key != down_.end();) {
        if (down.count(key->first) == 0) {
            out.push_back(Event(KeyAction::Release, key->first));
            key = down_.erase(key);
        } else {
            ++key;
        }
    }
    for (const unsigned code : down) {
        if (down_.count(code) == 0) {
            down_[code] = std::nullopt;
            out.push_back(Event(KeyAction::Press, code));
        }
    }
}

KeyEvent EvdevDecoder::Event(KeyAction action, unsigned code) {
    const auto held = down_.find(code);
    const std::optional<std::uint32_t> scancode =
        held != down_.end() && held->second ? held->second : scancode_;
    std::string name = code == KEY_UNKNOWN ? std::string() : namer_(code);
    if (name.empty() && scancode) {
        return KeyEvent{.action = action, .key = Key::Scancode(*scancode), .releases = true};
    }
    if (name.empty()) {
        name = "KEY_" + std::to_string(code);
    }
    return KeyEvent{.action = action,
                    .key = Key::Name(std::move(name)),
                    .scancode = scancode,
                    .releases = true};
}
