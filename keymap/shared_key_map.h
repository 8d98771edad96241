#pragma once

#include <memory>
#include <mutex>

#include "keymap/key_map.h"

// The key map in force, replaced whole from any thread while the receiver reads it. A
// reader keeps what Current gave it for the whole of an event, so an event is decoded and
// shaped by one map, and a replacement applies from the next event on.
class SharedKeyMap {
  public:
    explicit SharedKeyMap(KeyMap keys = KeyMap::Standard());

    // Safe from any thread.
    std::shared_ptr<const KeyMap> Current() const;
    void Replace(KeyMap keys);

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<const KeyMap> current_;  // guarded by mutex_; never null
};
