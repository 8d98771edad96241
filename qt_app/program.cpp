#include "qt_app/program.h"

#include <unistd.h>

#include <QGuiApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "keys_window/window_state.h"
#include "options/command_line.h"
#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "player/mpris_player_link.h"
#include "player/session_bus_probe.h"
#include "program/app_log.h"
#include "program/key_source_choice.h"
#include "program/latest_problem.h"
#include "program/program_skeleton.h"
#include "qt_app/display_check.h"
#include "qt_app/form1.h"
#include "qt_app/history_view.h"
#include "qt_app/keys_window.h"
#include "qt_app/message_box.h"
#include "qt_app/platform_start_guard.h"
#include "qt_app/qt_log_routing.h"
#include "qt_app/quorvel_application.h"
#include "qt_app/tray_icon.h"

namespace {

// Qt's screen-reader bridge asks the session bus on the UI thread, with no bound: a bus
// that accepts and never answers would keep the window from ever appearing. Checked with
// a bound first; without an answer the bridge is pointed at no bus.
void GuardAgainstAWedgedBus() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const bool busNamed =
        std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr ||
        (runtime != nullptr && ::access((std::string(runtime) + "/bus").c_str(), F_OK) == 0);
    if (std::getenv("AT_SPI_BUS_ADDRESS") != nullptr || !busNamed) {
        return;
    }
    if (!SessionBusAnswers(MprisPlayerLink::JoinTimeout)) {
        ::setenv("AT_SPI_BUS_ADDRESS", "unix:path=/dev/null", 1);
        std::fprintf(stderr,
                     "quorvel: the session bus does not answer; the window starts without its "
                     "screen-reader bridge\n");
    }
}

// Linux's ways: MPRIS players, a Qt window that needs a display, and no Qt at all
// without a window.
// Takes the latest problem on the UI thread. Queued as a member function, not a lambda: the
// call object is made on the receiver's thread and handed over inside Qt, where the thread
// sanitizer cannot follow a lambda's captures.
class ProblemTaker : public QObject {
  public:
    explicit ProblemTaker(std::function<void()> take) : take_(std::move(take)) {}
    void Take() { take_(); }

  private:
    std::function<void()> take_;
};

class QtPlatform : public ProgramPlatform {
  public:
    explicit QtPlatform(char* programName) : qtArgv_{programName, nullptr} {}

    // The chosen players (none with --no-player). The link starts joining the session bus
    // in the background, so the port opens without waiting for it.
    IRThread::PlayerFactory Player(const CommandLine& options) override {
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
        return [filter, notify = options.notify] {
            return std::make_unique<MprisPlayerLink>(filter, MprisPlayerLink::ReplyTimeoutMs,
                                                     notify);
        };
    }

    // The start's messages, printed as ever, and kept to be shown.
    StartOutput Output() override {
        return {[this](const std::string& text) {
                    std::fputs(text.c_str(), stdout);
                    said_ += text;
                },
                [this](const std::string& text) {
                    std::fputs(text.c_str(), stderr);
                    said_ += text;
                }};
    }

    // The window is to start, unless the user chose text or asked for a command.
    std::optional<int> Starting(const CommandLine& options, bool text) override {
        using Command = CommandLine::Command;
        windowStart_ = !text && (options.command == Command::RunWindow ||
                                 options.command == Command::UsageError);
        return std::nullopt;
    }

    // What stopped the window's start is also shown in a message box, when standard error
    // reaches no one and there is a display to show it on.
    void StartEnded(int status) override {
        if (status == 0 || !windowStart_ || said_.empty() || StandardErrorIsSeen() ||
            DisplayMissing()) {
            return;
        }
        MakeApplication(status);
        // A platform that draws nowhere would keep the program waiting on a box no one sees.
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
            return;
        }
        while (!said_.empty() && said_.back() == '\n') {
            said_.pop_back();
        }
        ShowMessageBox(said_, true);
    }

    std::optional<int> PrepareWindow() override {
        if (const auto reason = DisplayMissing()) {
            std::fprintf(
                stderr,
                "quorvel: no display available (%s); use --console to run without a window\n",
                reason->c_str());
            return PlatformStartGuard::NoDisplayStatus;
        }
        MakeApplication(std::nullopt);
        RouteLogIntoQt();
        return std::nullopt;
    }

    int RunWindow(const CommandLine& options, const IRThread::PlayerFactory& player,
                  KeyMapReloader& keys) override {
        QuorvelApplication& app = *app_;
        // The quit is taken on the UI thread, from the signal's pipe, and ends the loop; the
        // form then goes, and its receiver is stopped and joined with it. SIGHUP reloads the
        // key map there too. No thread of the signal's own.
        QuitSignal quit({}, [&keys] { keys.Reload(); });
        std::optional<QSocketNotifier> signalled;
        if (quit.ReadyHandle() >= 0) {
            signalled.emplace(quit.ReadyHandle(), QSocketNotifier::Read);
            QObject::connect(&*signalled, &QSocketNotifier::activated, &app, [&quit, &app] {
                if (quit.Take()) {
                    app.quit();
                }
            });
        }
        // Problems met while running are shown on the tray, once there is one; the change
        // crosses under LatestProblem's lock, the queued call only says it is there.
        TrayIcon* problemsShownOn = nullptr;
        std::optional<LatestProblem> problems;
        ProblemTaker taker([&] {
            if (const auto change = problems->Take(); change && problemsShownOn) {
                problemsShownOn->ShowProblem(change->problem, change->notify && options.notify);
            }
        });
        problems.emplace([&taker] {
            QMetaObject::invokeMethod(&taker, &ProblemTaker::Take, Qt::QueuedConnection);
        });
        const KeyMapReloader::NoticeScope noticed(keys, *problems);
        // The key map's file is watched on the receiver's loop.
        TForm1 form([&](ReceiverHost& receivers) {
            receivers.Start(MakeReceiverLoop(options, keys), player, keys.Keys(), {},
                            keys.WatchOnLoop(), &*problems);
        });
        if (options.follow) {
            form.History->FollowTheEnd();
        }
        form.SetKeysWindowMaker([&](QWidget* parent) {
            return new KeysWindow({PathFromUtf8(options.keys), &form.Receivers().Capture(),
                                   [&keys] { return keys.Reload(); }, DefaultWindowStatePath()},
                                  parent);
        });
        // Without a tray, nothing changes.
        std::optional<TrayIcon> tray;
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            tray.emplace(form.windowIcon(), [&form] { form.OpenKeys(); });
            problemsShownOn = &*tray;
        }
        if (options.minimized) {
            form.showMinimized();
        } else {
            form.show();
        }
        QUORVEL_DEBUG(lcApp) << "window: shown, event loop running";
        QApplication::exec();
        problemsShownOn = nullptr;
        QUORVEL_DEBUG(lcApp) << "window: event loop ended";
        app.RethrowEscaped();
        return 0;
    }

    // Said on standard error, and in a dialog when there is a window to show it over.
    void Escaped(const std::optional<std::string>& message, bool window) override {
        const std::string text =
            message && !message->empty() ? *message : "an unexpected error stopped Quorvel";
        std::fprintf(stderr, "quorvel: %s\n", text.c_str());
        if (window) {
            ShowMessageBox(text, true);
        }
    }

  private:
    static std::optional<std::string> DisplayMissing() {
        return MissingDisplayReason(
            [](const char* name) -> const char* { return std::getenv(name); });
    }

    // quietStatus: as PlatformStartGuard's.
    void MakeApplication(std::optional<int> quietStatus) {
        GuardAgainstAWedgedBus();
        // Our options are not Qt's: Qt sees only the program name.
        PlatformStartGuard guard(quietStatus);
        app_.emplace(qtArgc_, qtArgv_);
    }

    int qtArgc_ = 1;
    char* qtArgv_[2];
    std::optional<QuorvelApplication> app_;
    std::string said_;
    bool windowStart_ = false;
};

}  // namespace

int RunProgram(int argc, char** argv) {
    QtPlatform platform(argv[0]);
    return RunProgram(std::vector<std::string>(argv + 1, argv + argc), platform);
}
