#include "qt_app/program.h"

#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "player/mpris_player_link.h"
#include "program/app_log.h"
#include "program/command_line.h"
#include "program/console_runner.h"
#include "program/program_start.h"
#include "program/quit_signal.h"
#include "qt_app/display_check.h"
#include "qt_app/form1.h"
#include "qt_app/platform_start_guard.h"
#include "qt_app/qt_log_routing.h"
#include "qt_app/quorvel_application.h"

namespace {

// The chosen player (none with --no-player), looked up once on the receiver thread before
// the port opens, as every key press looks it up again.
IRThread::PlayerFactory PlayerFor(const CommandLine& options) {
    if (!options.commandsPlayer) {
        return {};
    }
    MprisPlayerFilter filter;
    if (!options.player.empty()) {
        filter.preferred = CommandLine::Names(options.player);
    }
    for (const std::string& list : options.ignoredPlayers) {
        for (std::string& name : CommandLine::Names(list)) {
            filter.ignored.push_back(std::move(name));
        }
    }
    return [filter]() -> std::unique_ptr<PlayerLink> {
        auto link = std::make_unique<MprisPlayerLink>(filter);
        link->ChosenPlayer();
        return link;
    };
}

int RunWindow(QuorvelApplication& app, const CommandLine& options, const KeyMap& keys) {
    // The quit is handed to the UI thread, which ends the loop; the form then goes, and
    // its receiver is stopped and joined with it.
    const QuitSignal quit(
        [&app] { QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection); });
    TForm1 form(
        [&](ReceiverHost& receivers) { receivers.Start(options.port, PlayerFor(options), keys); });
    form.show();
    QUORVEL_DEBUG(lcApp) << "window: shown, event loop running";
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
        // No Qt at all without a window.
        try {
            return RunConsole(options.port, PlayerFor(options), keys);
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
