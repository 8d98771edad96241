#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include "source/key.h"
#include "source/key_source.h"

// The keys window's record button, between its thread and the receiver's: once armed, the
// next key press from any source is taken from the signal cycle and kept for the window
// instead of acting, and so are that key's repeats and its release after it. Safe from any
// thread.
class KeyCapture {
  public:
    // Called on the receiver thread, under the capture's lock, once the press is kept: it
    // must only tell the window (a queued call, a posted message), never call the capture.
    using Handler = std::function<void(const KeyEvent& press)>;

    // Takes the next press for onKey, once; arming again replaces the handler.
    void Arm(Handler onKey);
    // Takes nothing more, and forgets a key not yet collected. Once it returns, the
    // handler is not called again.
    void Disarm();
    bool Armed() const;
    // The key taken, once: for the window, when the handler has told it.
    std::optional<Key> Collect();

    // For the signal cycle, at each key event: true when the capture takes event, which
    // then neither shows nor acts.
    bool Take(const KeyEvent& event);

  private:
    mutable std::mutex mutex_;
    Handler onKey_;                 // set while armed
    std::optional<Key> swallowed_;  // the key taken, while it may still repeat
    std::optional<Key> kept_;       // the key taken, until the window collects it
};
