#pragma once

#include <utility>

#include "log/log_category.h"

// Installs a sink for as long as it lives, then puts the one it replaced back.
class ScopedLogSink {
  public:
    explicit ScopedLogSink(LogSink sink) : previous_(SetLogSink(std::move(sink))) {}
    ~ScopedLogSink() { SetLogSink(std::move(previous_)); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

  private:
    LogSink previous_;
};
