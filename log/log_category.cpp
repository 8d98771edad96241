#include "log/log_category.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<LogCategory*> categories;
    LogSink sink;
};

// Built on first use, so categories defined in any translation unit find it.
Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

LogCategory::LogCategory(const char* name, LogLevel threshold)
    : name_(name), threshold_(static_cast<int>(threshold)) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.categories.push_back(this);
}

LogCategory::~LogCategory() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::erase(registry.categories, this);
}

void LogCategory::ForEach(const std::function<void(LogCategory&)>& visit) {
    Registry& registry = TheRegistry();
    std::vector<LogCategory*> categories;
    {
        std::lock_guard lock(registry.mutex);
        categories = registry.categories;
    }
    for (LogCategory* category : categories) {
        visit(*category);
    }
}

LogSink SetLogSink(LogSink sink) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::swap(registry.sink, sink);
    return sink;
}

void WriteLog(const LogCategory& category, LogLevel level, const std::string& message) {
    // Set while this thread runs the sink: a sink that logs (or whatever it calls) gets
    // the plain line instead of waiting for the lock its own thread holds.
    thread_local bool inSink = false;
    if (!inSink) {
        Registry& registry = TheRegistry();
        // Held while the sink runs, so lines from two threads never interleave, and a sink
        // being replaced has finished its last call when SetLogSink returns.
        std::lock_guard lock(registry.mutex);
        if (registry.sink) {
            inSink = true;
            try {
                registry.sink(category, level, message);
            } catch (...) {
                // A diagnostic never ends the program.
            }
            inSink = false;
            return;
        }
    }
    std::fprintf(stderr, "%s: %s\n", category.Name(), message.c_str());
    std::fflush(stderr);
}
