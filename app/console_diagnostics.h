#pragma once

#include <QtMessageHandler>

class ConsoleHistoryList;

// While alive, every Qt message (our diagnostics among them) goes to standard error
// through history, so on a terminal it never lands in the middle of the history line
// being rewritten. One at a time; history outlives it.
class ConsoleDiagnostics {
  public:
    explicit ConsoleDiagnostics(ConsoleHistoryList& history);
    ~ConsoleDiagnostics();
    ConsoleDiagnostics(const ConsoleDiagnostics&) = delete;
    ConsoleDiagnostics& operator=(const ConsoleDiagnostics&) = delete;

  private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QtMessageHandler previous_ = nullptr;
};
