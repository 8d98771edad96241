#include "win32_app/program.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/media_key_player_link.h"
#include "player/window_message_player_link.h"
#include "program/command_line.h"
#include "program/console_runner.h"
#include "program/key_map_reloader.h"
#include "program/program_start.h"
#include "program/quit_signal.h"
#include "win32_app/form1.h"

namespace {

using PlayerFactory = IRThread::PlayerFactory;

// The --player choice; none for a name that is not one of ours. The player's window is
// looked up once on the receiver thread before the port opens, and again whenever it is
// needed and gone.
std::optional<PlayerFactory> ChoosePlayer(const std::string& name) {
    if (name.empty() || name == "window") {
        return PlayerFactory([]() -> std::unique_ptr<PlayerLink> {
            auto link = std::make_unique<WindowMessagePlayerLink>();
            link->FindPlayerWindow();
            return link;
        });
    }
    if (name == "keys") {
        return PlayerFactory([] { return std::make_unique<MediaKeyPlayerLink>(); });
    }
    return std::nullopt;
}

// A console made for this program alone (it was started from the desktop, not from a
// console) would stand empty beside the window.
void LeaveOwnConsole() {
    DWORD processes[2];
    if (GetConsoleWindow() != nullptr && GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
}

int RunWindow(const CommandLine& options, const PlayerFactory& player, KeyMapReloader& keys) {
    LeaveOwnConsole();
    TForm1 form(GetModuleHandleA(nullptr), [&](ReceiverHost& receivers) {
        receivers.Start(options.port, player, keys.Keys());
    });
    // Ctrl-C in the console it was started from closes the window as a click would.
    const QuitSignal quit([window = form.Handle()] { PostMessageA(window, WM_CLOSE, 0, 0); });
    form.Show(SW_SHOWDEFAULT);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The form goes now; closing never waits for a byte: the stop wakes a blocked read.
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
    KeyMap startKeys;
    if (const auto status = StartProgram(options, startKeys)) {
        return *status;
    }
    KeyMapReloader keys(options.keys, std::move(startKeys));
    const auto player = ChoosePlayer(options.player);
    if (!player) {
        std::fprintf(stderr, "quorvel: unknown player '%s': use window or keys (try --help)\n",
                     options.player.c_str());
        return CommandLine::UsageError;
    }
    try {
        return options.console ? RunConsole(options.port, *player, keys)
                               : RunWindow(options, *player, keys);
    } catch (const std::exception& error) {
        ReportEscaped(error.what(), options.console);
    } catch (...) {
        ReportEscaped("unexpected error", options.console);
    }
    return 1;
}
