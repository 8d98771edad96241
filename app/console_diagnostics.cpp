#include "app/console_diagnostics.h"

#include <QString>
#include <atomic>
#include <cstdio>

#include "history/console_history_list.h"

namespace {

std::atomic<ConsoleHistoryList*> current{nullptr};

}  // namespace

ConsoleDiagnostics::ConsoleDiagnostics(ConsoleHistoryList& history) {
    current.store(&history);
    previous_ = qInstallMessageHandler(&ConsoleDiagnostics::Handle);
}

ConsoleDiagnostics::~ConsoleDiagnostics() {
    qInstallMessageHandler(previous_);
    current.store(nullptr);
}

void ConsoleDiagnostics::Handle(QtMsgType type, const QMessageLogContext& context,
                                const QString& message) {
    const QString text = qFormatLogMessage(type, context, message);
    if (ConsoleHistoryList* history = current.load()) {
        history->PrintAside(stderr, text.toLocal8Bit().toStdString());
    }
    if (type == QtFatalMsg) {
        std::abort();
    }
}
