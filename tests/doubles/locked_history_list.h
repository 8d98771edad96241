#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/doubles/memory_history_list.h"

// History lines written on one thread and watched from another.
class LockedHistoryList : public HistoryList {
  public:
    explicit LockedHistoryList(std::vector<std::string> initial = {}) : list_(std::move(initial)) {}

    void DeleteLine(int index) override {
        std::lock_guard lock(mutex_);
        list_.DeleteLine(index);
    }
    void InsertLine(int index, const std::string& text) override {
        std::lock_guard lock(mutex_);
        list_.InsertLine(index, text);
    }
    void Repaint() override {
        std::lock_guard lock(mutex_);
        list_.Repaint();
        changed_.notify_all();
    }

    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return list_.lines;
    }

    // Waits until the lines satisfy done, or the deadline passes; returns the lines then.
    std::vector<std::string> WaitFor(
        const std::function<bool(const std::vector<std::string>&)>& done,
        std::chrono::seconds deadline = std::chrono::seconds(20)) const {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, deadline, [&] { return done(list_.lines); });
        return list_.lines;
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    MemoryHistoryList list_;
};
