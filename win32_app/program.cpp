#include "win32_app/program.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keys_window/window_state.h"
#include "log/scoped_log_sink.h"
#include "platform/bounded_log_file.h"
#include "platform/known_folder.h"
#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "player/media_key_player_link.h"
#include "player/media_session_player_link.h"
#include "player/window_message_player_link.h"
#include "program/key_map_reloader.h"
#include "program/key_source_choice.h"
#include "program/program_skeleton.h"
#include "text/wide_text.h"
#include "win32_app/console_attachment.h"
#include "win32_app/form1.h"
#include "win32_app/message_box.h"
#include "win32_app/single_instance.h"
#include "win32_app/tray_icon.h"

namespace {

using PlayerFactory = IRThread::PlayerFactory;

// The --player choice; none for a name that is not one of ours. The player's window is
// looked up when the link is made on the receiver thread, before the port opens, and
// again whenever it is needed and gone.
// With feedback (--notify's, the tray icon), the player's window link tells it what it knows,
// the media sessions' link the volume it set.
// The command line has checked the name: window (the default), keys or session.
PlayerFactory ChoosePlayer(const std::string& name, PlayerFeedback* feedback = nullptr) {
    if (name == "keys") {
        return [] { return std::make_unique<MediaKeyPlayerLink>(); };
    }
    if (name == "session") {
        return [feedback] { return std::make_unique<MediaSessionPlayerLink>(feedback); };
    }
    return [feedback] { return std::make_unique<WindowMessagePlayerLink>(feedback); };
}

// A console made for this program alone (it was started from the desktop, not from a
// console) would stand empty beside the window.
void LeaveOwnConsole() {
    DWORD processes[2];
    if (GetConsoleWindow() != nullptr && GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
}

std::string Timestamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

// Where the program's words go: standard error when someone reads it, a message box for
// what ends the start when no one does and the user did not choose text, and always the
// log file.
class Reporter {
  public:
    Reporter()
        : seen_(StandardErrorIsSeen()),
          file_(KnownFolder(UserFolder::LocalAppData) / "Quorvel" / "quorvel.log") {}

    bool Seen() const { return seen_; }
    // Text chosen: what is kept is never shown in a box, which no one may be there to close.
    void ChooseText() { text_ = true; }

    // Diagnostics: the log file, and standard error as the default sink writes it.
    LogSink Sink() {
        return [this](const LogCategory& category, LogLevel, const std::string& message) {
            const std::string line = std::string(category.Name()) + ": " + message;
            file_.Append(Timestamp() + " " + line);
            if (seen_) {
                std::fprintf(stderr, "%s\n", line.c_str());
                std::fflush(stderr);
            }
        };
    }

    // StartProgram's messages: printed as ever, and kept to be shown when unseen.
    StartOutput Output() {
        return {[this](const std::string& text) {
                    std::fputs(text.c_str(), stdout);
                    shown_ += text;
                },
                [this](const std::string& text) {
                    std::fputs(text.c_str(), stderr);
                    shown_ += text;
                    Record(text);
                }};
    }

    // A refusal or failure of our own, a line without "quorvel: ".
    void Refuse(const std::string& message) {
        const std::string line = "quorvel: " + message + "\n";
        std::fputs(line.c_str(), stderr);
        shown_ += line;
        Record(line);
    }

    // What was kept, which is then forgotten.
    std::string TakeKept() {
        std::string kept;
        kept.swap(shown_);
        while (!kept.empty() && kept.back() == '\n') {
            kept.pop_back();
        }
        return kept;
    }

    // Shows what was kept, once, when standard error reaches no one; a long list of
    // refusals as its first lines, all of them being in the log file.
    void ShowKept(bool error) {
        while (!shown_.empty() && shown_.back() == '\n') {
            shown_.pop_back();
        }
        if (!seen_ && !text_ && !shown_.empty()) {
            ShowMessageBox(error ? FitForScreen(shown_, "All of it is in the log file " +
                                                            Utf8FromPath(file_.Path()) + ".")
                                 : shown_,
                           error);
        }
        shown_.clear();
    }

  private:
    void Record(std::string text) {
        while (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        file_.Append(Timestamp() + " " + text);
    }

    bool seen_;
    bool text_ = false;
    BoundedLogFile file_;
    std::string shown_;
};

// The arguments after the program's name, in UTF-8: main's argv is in the ANSI code page,
// which turns what it lacks (a Japanese folder name) into "?".
std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.push_back(Narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

// Windows' ways: the player's window, the media keys or the media sessions, our words kept for a
// message box when no one reads standard error, and a Win32 window with its message loop.
class Win32Platform : public ProgramPlatform {
  public:
    Win32Platform() : sink_(reporter_.Sink()) {}

    StartOutput Output() override { return reporter_.Output(); }

    std::optional<int> Starting(const CommandLine& options, bool text) override {
        using Command = CommandLine::Command;
        interactive_ = options.command == Command::Learn || options.command == Command::FindPort;
        if (text) {
            reporter_.ChooseText();
        }
        // A detached start: the history would go nowhere, unseen, until a key ends it. No
        // box: no one may be there to close it (a script, a scheduled task).
        if (options.command == Command::RunConsole && !StandardOutputGiven()) {
            return Refused(
                "--console prints the history on standard output, which goes to no "
                "console, file or pipe here: start it from Command Prompt or "
                "PowerShell, or send its output to a file",
                CommandLine::UsageError, false);
        }
        if (interactive_ && !EnsureConsole()) {
            return Refused(
                std::string(options.command == Command::Learn ? "--learn" : "--find-port") +
                    " talks with you in a console, and none could be opened: start "
                    "it from Command Prompt or PowerShell",
                1, true);
        }
        if (options.command == Command::RunWindow || options.command == Command::RunConsole) {
            return OnlyOne(options.command == Command::RunWindow);
        }
        return std::nullopt;
    }

    void StartEnded(int status) override {
        reporter_.ShowKept(status != 0);
        if (interactive_) {
            KeepOwnConsoleUntilRead();
        }
    }
    IRThread::PlayerFactory Player(const CommandLine& options) override {
        return ChoosePlayer(options.player);
    }

    int RunWindow(const CommandLine& options, const PlayerFactory& player,
                  KeyMapReloader& keys) override {
        LeaveOwnConsole();
        // Set before the receivers start, and gone after the form and its receivers.
        std::optional<KeyMapReloader::NoticeScope> noticed;
        TForm1 form(GetModuleHandleA(nullptr), [&](ReceiverHost& receivers, TrayIcon& tray) {
            // A saved key map applies from the next key: its file is watched on the
            // receiver's loop. Problems met meanwhile show on the tray.
            tray.NotifyProblems(options.notify);
            noticed.emplace(keys, tray.Problems());
            const auto judge = MakePressJudge(options, keys.Keys());
            receivers.Start(MakeReceiverLoop(options, keys, judge),
                            options.notify ? ChoosePlayer(options.player, &tray) : player,
                            keys.Keys(), judge, keys.WatchOnLoop(), &tray.Problems());
        });
        if (options.follow) {
            form.FollowTheEnd();
        }
        form.SetKeys({PathFromUtf8(options.keys), nullptr, [&keys] { return keys.Reload(); },
                      DefaultWindowStatePath()});
        // Ctrl-C in the console it was started from closes the window as a click would.
        const QuitSignal quit([window = form.Handle()] { PostMessageA(window, WM_CLOSE, 0, 0); });
        // --minimized: only the icon in the notification area; without one (no Explorer
        // yet), the taskbar button.
        form.Show(!options.minimized ? SW_SHOWDEFAULT
                  : form.InTray()    ? SW_HIDE
                                     : SW_SHOWMINNOACTIVE);
        // Wide, so what is typed in the keys window reaches it whole.
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!form.PreTranslate(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        // The form goes now; closing never waits for a byte: the stop wakes the receiver loop.
        return 0;
    }

    void Escaped(const std::optional<std::string>& message, bool) override {
        reporter_.Refuse(message.value_or("unexpected error"));
        reporter_.ShowKept(true);
    }

  private:
    // A start refused before anything ran: said on standard error, else in a message box
    // when box.
    int Refused(const std::string& why, int status, bool box) {
        reporter_.Refuse(why);
        const std::string kept = reporter_.TakeKept();
        if (!reporter_.Seen() && box) {
            ShowMessageBox(kept, true);
        }
        return status;
    }

    // The receiver runs once a session: a second start brings the first one's window up
    // and ends (0 when that is what it was started for).
    std::optional<int> OnlyOne(bool window) {
        instance_.emplace();
        if (instance_->First()) {
            return std::nullopt;
        }
        const bool shown = SingleInstance::ShowTheOther();
        reporter_.Refuse(std::string("Quorvel runs already in this session") +
                         (shown ? ": its window is shown" : " (in a console)") +
                         "; one at a time, or each key would act twice");
        reporter_.TakeKept();
        return window && shown ? 0 : 1;
    }

    Reporter reporter_;
    const ScopedLogSink sink_;
    bool interactive_ = false;
    std::optional<SingleInstance> instance_;  // held while the program runs
};

}  // namespace

int RunProgram() {
    // Our text is UTF-8; a console shows it as such only when told.
    SetConsoleOutputCP(CP_UTF8);
    Win32Platform platform;
    return RunProgram(Arguments(), platform);
}
