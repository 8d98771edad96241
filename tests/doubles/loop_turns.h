#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

#include "platform/event_loop.h"

// Turns loop on the calling thread, as the receiver does, until done() holds or a generous
// deadline passes; returns done(). Each wait is short, so done may look at what comes from
// outside the loop too.
inline bool TurnUntil(EventLoop& loop, const std::function<bool()>& done,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    const auto end = EventLoop::Clock::now() + deadline;
    while (!done()) {
        const auto now = EventLoop::Clock::now();
        if (now >= end) {
            return false;
        }
        loop.RunOnce(std::min(end, now + std::chrono::milliseconds(10)));
    }
    return true;
}
