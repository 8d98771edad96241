#pragma once

#include <sstream>
#include <string>

#include "log/log_category.h"

// One diagnostic being written: values streamed into it are joined as they stand (no
// spaces added), and the message goes to the sink when the line ends.
class LogLine {
  public:
    LogLine(const LogCategory& category, LogLevel level) : category_(category), level_(level) {}
    ~LogLine() { WriteLog(category_, level_, text_.str()); }
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    template <typename T>
    LogLine& operator<<(const T& value) {
        text_ << value;
        return *this;
    }

  private:
    const LogCategory& category_;
    LogLevel level_;
    std::ostringstream text_;
};

// QUORVEL_WARNING(lcReceiver) << "port " << path << " hung up";
// When the level is off nothing after the macro is evaluated: the message is never built.
#define QUORVEL_LOG(category, level)    \
    if (!(category).IsEnabled(level)) { \
    } else                              \
        LogLine((category), (level))
#define QUORVEL_DEBUG(category) QUORVEL_LOG(category, LogLevel::Debug)
#define QUORVEL_INFO(category) QUORVEL_LOG(category, LogLevel::Info)
#define QUORVEL_WARNING(category) QUORVEL_LOG(category, LogLevel::Warning)
