#include "input/evdev_decoder.h"

#include <linux/input-event-codes.h>

namespace {

constexpr int Released = 0;
constexpr int Pressed = 1;
constexpr int Repeated = 2;

}  // namespace

void EvdevDecoder::Take(const RawInputEvent& event, std::vector<KeyEvent>& out) {
    if (event.type == EV_SYN) {
        scancode_.reset();  // a frame ends, or is dropped
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

void EvdevDecoder::ReleaseAll(std::vector<KeyEvent>& out) {
    while (!down_.empty()) {
        out.push_back(Event(KeyAction::Release, down_.begin()->first));
        down_.erase(down_.begin());
    }
}

KeyEvent EvdevDecoder::Event(KeyAction action, unsigned code) {
    const auto held = down_.find(code);
    const std::optional<std::uint32_t> scancode =
        held != down_.end() && held->second ? held->second : scancode_;
    std::string name = code == KEY_UNKNOWN ? std::string() : namer_(code);
    if (!Key::WhyNotAName(name).empty()) {
        name.clear();  // no name to trust: the key goes by its number
    }
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
