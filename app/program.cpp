#include "app/program.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_log.h"
#include "app/command_line.h"
#include "app/console_diagnostics.h"
#include "app/display_check.h"
#include "app/form1.h"
#include "app/platform_start_guard.h"
#include "app/program_start.h"
#include "app/qt_log_routing.h"
#include "app/quorvel_application.h"
#include "app/receiver_host.h"
#include "app/signal_quitter.h"
#include "history/console_history_list.h"
#include "history/history_list.h"
#include "player/mpris_player_link.h"
#include "receiver/ir_thread.h"

namespace {

// The receiver writing history, reading options.port and commanding the chosen player
// (none with --no-player).
void StartReceiver(ReceiverHost& host, const CommandLine& options, const KeyMap& keys,
                   HistoryList& history) {
    IRThread::PlayerFactory player;
    if (options.commandsPlayer) {
        player = [name = options.player] { return std::make_unique<MprisPlayerLink>(name); };
    }
    host.Start(std::make_unique<IRThread>(history, options.port, std::move(player), keys));
}

// Without a window: the same receiver, its history on standard output.
int RunConsole(char* programName, const CommandLine& options, const KeyMap& keys) {
    int qtArgc = 1;
    char* qtArgv[] = {programName, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    RouteLogIntoQt();
    SignalQuitter quitter;
    ConsoleHistoryList history(stdout, ::isatty(STDOUT_FILENO) == 1);
    const ConsoleDiagnostics diagnostics(history);
    // The host is gone, its thread joined, before the history it writes.
    ReceiverHost receiver(&app);
    StartReceiver(receiver, options, keys, history);
    return QCoreApplication::exec();
}

int RunWindow(QuorvelApplication& app, const CommandLine& options, const KeyMap& keys) {
    SignalQuitter quitter;
    // The form is declared before the host so the host, joining the receiver, goes first.
    std::optional<TForm1> form;
    ReceiverHost receiver(&app);
    form.emplace([&](HistoryList& history) { StartReceiver(receiver, options, keys, history); });
    form->show();
    qCDebug(lcApp) << "window: shown, event loop running";
    QApplication::exec();
    app.RethrowEscaped();
    return 0;
}

// An exception that reached the entry: said on standard error, and in a dialog when there
// is a window to show it over.
int ReportEscaped(const std::string& message, bool dialog) {
    const std::string text = message.empty() ? "an unexpected error stopped Quorvel" : message;
    std::fprintf(stderr, "quorvel: %s\n", text.c_str());
    if (dialog) {
        QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), QString::fromLocal8Bit(text));
    }
    return 1;
}

}  // namespace

int RunProgram(int argc, char** argv) {
    const CommandLine options = CommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    KeyMap keys;
    if (const auto status = StartProgram(options, keys)) {
        return *status;
    }
    if (options.console) {
        try {
            return RunConsole(argv[0], options, keys);
        } catch (const std::exception& error) {
            return ReportEscaped(error.what(), false);
        } catch (...) {
            return ReportEscaped({}, false);
        }
    }
    if (const auto reason = MissingDisplayReason(
            [](const char* name) -> const char* { return std::getenv(name); })) {
        std::fprintf(stderr,
                     "quorvel: no display available (%s); use --console to run without a window\n",
                     reason->c_str());
        return PlatformStartGuard::NoDisplayStatus;
    }

    // Our options are not Qt's: Qt sees only the program name.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    std::optional<QuorvelApplication> app;
    {
        PlatformStartGuard guard;
        app.emplace(qtArgc, qtArgv);
    }

    RouteLogIntoQt();
    try {
        return RunWindow(*app, options, keys);
    } catch (const std::exception& error) {
        return ReportEscaped(error.what(), true);
    } catch (...) {
        return ReportEscaped({}, true);
    }
}
