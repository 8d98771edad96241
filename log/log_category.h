#pragma once

#include <atomic>
#include <functional>
#include <string>

// How much a diagnostic matters. A category shows the levels at or above its threshold.
enum class LogLevel { Debug = 0, Info = 1, Warning = 2 };

// One named source of diagnostics, one per folder ("quorvel.receiver", "quorvel.player").
// Defined once at namespace scope; every category registers itself, so a program can set
// all their thresholds at start. Diagnostics never go into the history.
class LogCategory {
  public:
    explicit LogCategory(const char* name, LogLevel threshold = LogLevel::Info);
    ~LogCategory();
    LogCategory(const LogCategory&) = delete;
    LogCategory& operator=(const LogCategory&) = delete;

    const char* Name() const { return name_; }
    // Cheap and safe from any thread: one relaxed atomic load.
    bool IsEnabled(LogLevel level) const {
        return static_cast<int>(level) >= threshold_.load(std::memory_order_relaxed);
    }
    void SetThreshold(LogLevel level) {
        threshold_.store(static_cast<int>(level), std::memory_order_relaxed);
    }

    // Visits every category that exists now.
    static void ForEach(const std::function<void(LogCategory&)>& visit);

  private:
    const char* name_;
    std::atomic<int> threshold_;
};

// Where diagnostics go. Called from any thread, one call at a time. What a sink itself logs
// goes to standard error as a plain line, not to the sink.
using LogSink = std::function<void(const LogCategory&, LogLevel, const std::string& message)>;

// Installs sink and returns the one it replaces. An empty sink, the default, writes
// "category: message" lines to standard error.
LogSink SetLogSink(LogSink sink);

// Hands one finished message to the sink, whatever the category's threshold.
void WriteLog(const LogCategory& category, LogLevel level, const std::string& message);
