#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/event_loop.h"

// Devices that refused a source just after they appeared (the seat's access, or their
// description, comes a moment later), each tried again every Every, Tries times at most
// (for Grace). Used on the loop's thread.
template <typename Key>
class GraceRetry {
  public:
    static constexpr std::chrono::milliseconds Every{100};
    static constexpr std::chrono::seconds Grace{2};
    static constexpr int Tries = static_cast<int>(Grace / Every);

    // One more try of a device: true when it is done with (taken). last: the grace is over,
    // so a failure now is the last, and may be said.
    using Attempt = std::function<bool(bool last)>;

    // Joins loop; tries due before begin now.
    void Attach(EventLoop& loop) {
        timer_ = loop.MakeTimer([this] { Run(); });
        if (!due_.empty()) {
            timer_->Set(EventLoop::Clock::now() + Every);
        }
    }
    // key refused just now: attempt is its next tries, its grace starting again.
    void Add(const Key& key, Attempt attempt) {
        due_[key] = {std::move(attempt), Tries};
        if (timer_ && !timer_->IsSet()) {
            timer_->Set(EventLoop::Clock::now() + Every);
        }
    }
    // key is done with some other way (taken, gone).
    void Forget(const Key& key) { due_.erase(key); }

  private:
    struct Due {
        Attempt attempt;
        int left = 0;
    };

    void Run() {
        std::vector<Key> keys;
        for (const auto& [key, due] : due_) {
            keys.push_back(key);
        }
        for (const Key& key : keys) {
            const auto found = due_.find(key);
            if (found == due_.end()) {
                continue;  // a try before took it
            }
            const bool last = --found->second.left <= 0;
            const Attempt attempt = found->second.attempt;  // a copy: the try may forget it
            if (attempt(last) || last) {
                due_.erase(key);
            }
        }
        if (!due_.empty()) {
            timer_->Set(EventLoop::Clock::now() + Every);
        }
    }

    std::map<Key, Due> due_;
    std::unique_ptr<EventLoop::Timer> timer_;
};
