#pragma once

#include <QString>
#include <QtGlobal>

#include <mutex>
#include <string>
#include <vector>

// Collects diagnostics while alive (from any thread), instead of printing them.
class LogCapture {
  public:
    LogCapture() {
        std::lock_guard lock(mutex_);
        messages_.clear();
        previous_ = qInstallMessageHandler(&LogCapture::Handle);
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    // The messages of one logging category, without the category.
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
    static void Handle(QtMsgType, const QMessageLogContext& context, const QString& message) {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::string(context.category ? context.category : "") + ": " +
                            message.toStdString());
    }

    static inline std::mutex mutex_;
    static inline std::vector<std::string> messages_;
    QtMessageHandler previous_ = nullptr;
};
