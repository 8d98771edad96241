#include "program/console_runner.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "history/console_history_list.h"
#include "log/log_rules.h"
#include "log/scoped_log_sink.h"
#include "platform/quit_signal.h"
#include "platform/service_manager.h"
#include "program/app_log.h"
#include "program/receiver_host.h"

int RunConsole(std::unique_ptr<KeyReader> reader, const IRThread::PlayerFactory& makePlayer,
               KeyMapReloader& keys, std::shared_ptr<PressJudge> judge) {
    QuitSignal quit({}, [&keys] { keys.Reload(); });
    auto owned = std::make_unique<ConsoleHistoryList>(stdout, StandardOutputIsTerminal());
    ConsoleHistoryList& history = *owned;
    // Into a pipe whose reader is gone ("quorvel --console | head -2"): done, as a filter is.
    // Any other failure to write the history is one: said, and the exit status shows it.
    std::atomic<int> lost{0};
    history.OnOutputLost([&quit, &lost](int error) {
        lost = error;
        quit.Raise();
    });
    ReceiverHost receiver(std::move(owned));
    // Gone before the history it prints around.
    const ScopedLogSink aside(
        [&history](const LogCategory& category, LogLevel, const std::string& message) {
            history.PrintAside(stderr, std::string(category.Name()) + ": " + message);
        });
    ApplyLogRules(std::getenv("QT_LOGGING_RULES"));
    // The key map's file is watched on the receiver's loop, gone with the receiver, before
    // the log sink that says what became of a reload.
    receiver.Start(std::move(reader), makePlayer, keys.Keys(), std::move(judge),
                   keys.WatchOnLoop());
    // A service's reload waits until now (Type=notify): SIGHUP is a reload from here on.
    if (!TellServiceManagerReady()) {
        QUORVEL_WARNING(lcApp) << "could not tell the service manager that Quorvel is ready";
    }
    quit.Wait();
    receiver.Stop();
    if (lost != 0 && lost != EPIPE) {
        QUORVEL_WARNING(lcApp) << "cannot write the history to standard output: "
                               << std::strerror(lost);
        return EXIT_FAILURE;
    }
    return 0;
}
