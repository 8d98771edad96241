#include "app/program.h"

#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "app/app_log.h"
#include "app/command_line.h"
#include "app/display_check.h"
#include "app/form1.h"
#include "app/platform_start_guard.h"
#include "app/quorvel_application.h"
#include "app/receiver_host.h"
#include "app/signal_quitter.h"
#include "history/history_list.h"

namespace {

// The one place the receiver is plugged into the window.
void StartReceiver(ReceiverHost& host, const CommandLine& options, HistoryList& history) {
    (void)host;
    (void)history;
    qCInfo(lcApp) << "receiver: not built in yet; port" << options.port.c_str() << "unused";
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
    if (const auto reason = MissingDisplayReason(
            [](const char* name) -> const char* { return std::getenv(name); })) {
        std::fprintf(stderr,
                     "quorvel: no display available (%s); start it in a graphical session\n",
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

    try {
        return RunWindow(*app, options);
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QString());
    }
    return 0;
}
