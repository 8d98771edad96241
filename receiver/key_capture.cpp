#include "receiver/key_capture.h"

#include <utility>

void KeyCapture::Arm(Handler onKey) {
    std::lock_guard lock(mutex_);
    onKey_ = std::move(onKey);
}

void KeyCapture::Disarm() {
    std::lock_guard lock(mutex_);
    onKey_ = nullptr;
    kept_.reset();
}

bool KeyCapture::Armed() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(onKey_);
}

std::optional<Key> KeyCapture::Collect() {
    std::lock_guard lock(mutex_);
    return std::exchange(kept_, std::nullopt);
}

bool KeyCapture::Take(const KeyEvent& event) {
    std::lock_guard lock(mutex_);
    if (event.action == KeyAction::Press) {
        swallowed_.reset();
        if (!onKey_) {
            return false;
        }
        swallowed_ = event.key;
        kept_ = event.key;
        const Handler onKey = std::exchange(onKey_, nullptr);
        onKey(event);
        return true;
    }
    if (swallowed_ != event.key) {
        return false;
    }
    if (event.action == KeyAction::Release) {
        swallowed_.reset();
    }
    return true;
}
