#include "keymap/shared_key_map.h"

#include <utility>

SharedKeyMap::SharedKeyMap(KeyMap keys)
    : current_(std::make_shared<const KeyMap>(std::move(keys))) {}

std::shared_ptr<const KeyMap> SharedKeyMap::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void SharedKeyMap::Replace(KeyMap keys) {
    // Made outside the lock; the old map goes after it, on whichever thread lets it go last.
    auto next = std::make_shared<const KeyMap>(std::move(keys));
    std::lock_guard lock(mutex_);
    current_.swap(next);
}
