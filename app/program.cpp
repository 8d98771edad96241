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
#include "app/display_check.h"
#include "app/form1.h"
#include "app/platform_start_guard.h"
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
void StartReceiver(ReceiverHost& host, const CommandLine& options, HistoryList& history) {
    IRThread::PlayerFactory player;
    if (options.commandsPlayer) {
        player = [name = options.player] { return std::make_unique<MprisPlayerLink>(name); };
    }
    host.Start(std::make_unique<IRThread>(history, options.port, std::move(player)));
}

// Without a window: the same receiver, its history on standard output.
int RunConsole(char* programName, const CommandLine& options) {
    int qtArgc = 1;
    char* qtArgv[] = {programName, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    RouteLogIntoQt();
    SignalQuitter quitter;
    ConsoleHistoryList history(stdout, ::isatty(STDOUT_FILENO) == 1);
    // The host is gone, its thread joined, before the history it writes.
    ReceiverHost receiver(&app);
    StartReceiver(receiver, options, history);
    return QCoreApplication::exec();
}

void ShowException(const QString& message) {
    QMessageBox::critical(nullptr, QStringLiteral("Quorvel"), message);
}

int RunWindow(QuorvelApplication& app, const CommandLine& options) {
    SignalQuitter quitter;
    // The form is declared before the host so the host, joining the receiver, goes first.
    std::optional<TForm1> form;
    ReceiverHost receiver(&app);
    form.emplace([&](HistoryList& history) { StartReceiver(receiver, options, history); });
    form->show();
    qCDebug(lcApp) << "window: shown, event loop running";
    QApplication::exec();
    app.RethrowEscaped();
    return 0;
}

}  // namespace

int RunProgram(int argc, char** argv) {
    const CommandLine options = CommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (options.action == CommandLine::Action::Exit) {
        std::fputs(options.out.c_str(), stdout);
        std::fputs(options.err.c_str(), stderr);
        return options.exitStatus;
    }
    if (options.console) {
        return RunConsole(argv[0], options);
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
        return RunWindow(*app, options);
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QString());
    }
    return 0;
}
