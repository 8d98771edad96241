#include <windows.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/console_ctrl_quitter.h"
#include "app/program.h"
#include "app/program_start.h"
#include "app/win32_form1.h"
#include "history/console_history_list.h"
#include "log/log_category.h"
#include "player/media_key_player_link.h"
#include "player/window_message_player_link.h"
#include "receiver/ir_thread.h"

namespace {

using PlayerFactory = IRThread::PlayerFactory;

// The --player choice; none for a name that is not one of ours.
std::optional<PlayerFactory> ChoosePlayer(const std::string& name) {
    if (name.empty() || name == "window") {
        return PlayerFactory([] { return std::make_unique<WindowMessagePlayerLink>(); });
    }
    if (name == "keys") {
        return PlayerFactory([] { return std::make_unique<MediaKeyPlayerLink>(); });
    }
    return std::nullopt;
}

// Standard output is a console that understands the line-rewriting escapes.
bool OutputIsTerminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(out, &mode) != 0 &&
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

// Without a window: the same receiver, its history on standard output, until Ctrl-C or
// the console closes.
int RunConsole(const CommandLine& options, const PlayerFactory& player, const KeyMap& keys) {
    // Never closed: a late Ctrl-C may still set it.
    const HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ConsoleCtrlQuitter quitter([quit] { SetEvent(quit); });
    ConsoleHistoryList history(stdout, OutputIsTerminal());
    // Diagnostics go round the line being rewritten, never into it.
    const LogSink previous =
        SetLogSink([&history](const LogCategory& category, LogLevel, const std::string& message) {
            history.PrintAside(stderr, std::string(category.Name()) + ": " + message);
        });
    IRThread receiver(history, options.port, player, keys);
    receiver.Resume();
    WaitForSingleObject(quit, INFINITE);
    receiver.RequestStop();
    receiver.Join();
    SetLogSink(previous);
    return 0;
}

// A console made for this program alone (it was started from the desktop, not from a
// console) would stand empty beside the window.
void LeaveOwnConsole() {
    DWORD processes[2];
    if (GetConsoleWindow() != nullptr && GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
}

int RunWindow(const CommandLine& options, const PlayerFactory& player, const KeyMap& keys) {
    LeaveOwnConsole();
    std::atomic<HWND> window{nullptr};
    ConsoleCtrlQuitter quitter([&window] { PostMessageA(window.load(), WM_CLOSE, 0, 0); });
    // The form is declared before the receiver, which writes its list and so goes first.
    std::optional<TForm1> form;
    std::optional<IRThread> receiver;
    form.emplace(GetModuleHandleA(nullptr), [&](HistoryList& history) {
        receiver.emplace(history, options.port, player, keys);
        receiver->Resume();
    });
    window.store(form->Handle());
    form->Show(SW_SHOWDEFAULT);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // Closing never waits for a byte: the stop wakes a blocked read.
    receiver->RequestStop();
    receiver->Join();
    return 0;
}

void ReportEscaped(const std::string& message, bool console) {
    std::fprintf(stderr, "quorvel: %s\n", message.c_str());
    if (!console) {
        MessageBoxA(nullptr, message.c_str(), "Quorvel", MB_OK | MB_ICONERROR);
    }
}

}  // namespace

int RunProgram(int argc, char** argv) {
    const CommandLine options = CommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
    KeyMap keys;
    if (const auto status = StartProgram(options, keys)) {
        return *status;
    }
    const auto player = ChoosePlayer(options.player);
    if (!player) {
        std::fprintf(stderr, "quorvel: unknown player '%s': use window or keys (try --help)\n",
                     options.player.c_str());
        return CommandLine::UsageError;
    }
    try {
        return options.console ? RunConsole(options, *player, keys)
                               : RunWindow(options, *player, keys);
    } catch (const std::exception& error) {
        ReportEscaped(error.what(), options.console);
    } catch (...) {
        ReportEscaped("unexpected error", options.console);
    }
    return 1;
}
