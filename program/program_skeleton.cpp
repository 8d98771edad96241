#include "program/program_skeleton.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "options/settings_file.h"
#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "player/null_player_link.h"
#include "program/console_runner.h"
#include "program/key_source_choice.h"

namespace {

// Runs what may throw; an exception is said, and ends the program with status 1.
template <typename Run>
int Reported(ProgramPlatform& platform, bool window, const Run& run) {
    try {
        return run();
    } catch (const std::exception& error) {
        platform.Escaped(error.what(), window);
    } catch (...) {
        platform.Escaped(std::nullopt, window);
    }
    return 1;
}

// Whether the user chose text over windows: --console asked for here (even beside a
// mistake, which is then said as text), a console run from the settings file, or a
// command that talks with the terminal.
bool TextChosen(const CommandLine& options, const std::vector<std::string>& args) {
    using Command = CommandLine::Command;
    switch (options.command) {
        case Command::RunConsole:
        case Command::Learn:
        case Command::FindPort:
            return true;
        case Command::RunWindow:
            return false;
        default:
            return std::find(args.begin(), args.end(), "--console") != args.end();
    }
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, ProgramPlatform& platform) {
    // systemctl restart, then reload: the reload may come before anything is set up.
    QuitSignal::HoldHangups();
    const CommandLine options = CommandLine::Parse(args, Utf8FromPath(DefaultSettingsPath()));
    if (options.command != CommandLine::Command::RunWindow &&
        options.command != CommandLine::Command::RunConsole) {
        QuitSignal::ReleaseHangups();  // no reload to be had
    }
    if (const auto status = platform.Starting(options, TextChosen(options, args))) {
        return *status;
    }
    KeyMap startKeys;
    if (const auto status = StartProgram(options, startKeys, platform.Output())) {
        platform.StartEnded(*status);
        return *status;
    }
    KeyMapReloader keys(PathFromUtf8(options.keys), std::move(startKeys));
    IRThread::PlayerFactory player = platform.Player(options);
    if (!player) {
        player = [] { return std::make_unique<NullPlayerLink>(); };
    }
    if (options.command == CommandLine::Command::RunConsole) {
        return Reported(platform, false, [&] {
            const auto judge = MakePressJudge(options, keys.Keys());
            return RunConsole(MakeReceiverLoop(options, keys, judge), player, keys, judge);
        });
    }
    if (const auto status = platform.PrepareWindow()) {
        return *status;
    }
    return Reported(platform, true, [&] { return platform.RunWindow(options, player, keys); });
}
