#include "qt_app/qt_log_routing.h"

#include <QLoggingCategory>
#include <QString>
#include <map>
#include <memory>
#include <string>

#include "log/log_category.h"

void RouteLogIntoQt() {
    // Qt keeps pointers to its categories, so they live as long as the program.
    static std::map<std::string, std::unique_ptr<QLoggingCategory>> qtCategories;
    LogCategory::ForEach([](LogCategory& category) {
        auto& qt = qtCategories[category.Name()];
        if (!qt) {
            // Debug detail only on request (QT_LOGGING_RULES="quorvel.*.debug=true").
            qt = std::make_unique<QLoggingCategory>(category.Name(), QtInfoMsg);
        }
        category.SetThreshold(qt->isDebugEnabled()  ? LogLevel::Debug
                              : qt->isInfoEnabled() ? LogLevel::Info
                                                    : LogLevel::Warning);
    });
    SetLogSink([](const LogCategory& category, LogLevel level, const std::string& message) {
        const auto found = qtCategories.find(category.Name());
        if (found == qtCategories.end()) {
            return;
        }
        const QLoggingCategory& qt = *found->second;
        const QString text = QString::fromStdString(message);
        switch (level) {
            case LogLevel::Debug:
                qCDebug(qt).noquote() << text;
                break;
            case LogLevel::Info:
                qCInfo(qt).noquote() << text;
                break;
            case LogLevel::Warning:
                qCWarning(qt).noquote() << text;
                break;
        }
    });
}
