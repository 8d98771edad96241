#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "log/log_category.h"

// Collects diagnostics while alive (from any thread) as "category: message", instead of
// printing them. One at a time.
class LogCapture {
  public:
    LogCapture() {
        previous_ =
            SetLogSink([this](const LogCategory& category, LogLevel, const std::string& message) {
                std::lock_guard lock(mutex_);
                messages_.push_back(std::string(category.Name()) + ": " + message);
            });
    }
    ~LogCapture() { SetLogSink(std::move(previous_)); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // The messages of one category, without its name.
    std::vector<std::string> Messages(const std::string& category) const {
        std::vector<std::string> found;
        const std::string prefix = category + ": ";
        for (const auto& message : Messages()) {
            if (message.rfind(prefix, 0) == 0) {
                found.push_back(message.substr(prefix.size()));
            }
        }
        return found;
    }
    // How many messages contain text.
    int Count(const std::string& text) const {
        int n = 0;
        for (const auto& message : Messages()) {
            n += message.find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    LogSink previous_;
};
