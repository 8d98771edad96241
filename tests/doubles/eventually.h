#pragma once

#include <chrono>
#include <functional>
#include <thread>

// Polls until done() holds or the deadline passes; returns done(). The deadline is
// generous, so a loaded machine never looks like a fault; it is reached only when one is.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
