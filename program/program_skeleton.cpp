#include "program/program_skeleton.h"

#include <exception>
#include <utility>

#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "program/console_runner.h"
#include "program/settings_file.h"

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

}  // namespace

int RunProgram(const std::vector<std::string>& args, ProgramPlatform& platform) {
    // systemctl restart, then reload: the reload may come before anything is set up.
    QuitSignal::HoldHangups();
    const CommandLine options = CommandLine::Parse(args, Utf8FromPath(DefaultSettingsPath()));
    if (options.command != CommandLine::Command::RunWindow &&
        options.command != CommandLine::Command::RunConsole) {
        QuitSignal::ReleaseHangups();  // no reload to be had
    }
    KeyMap startKeys;
    if (const auto status = StartProgram(options, startKeys, platform.Output())) {
        platform.StartEnded(*status);
        return *status;
    }
    KeyMapReloader keys(PathFromUtf8(options.keys), std::move(startKeys));
    const IRThread::PlayerFactory player = platform.Player(options);
    if (options.command == CommandLine::Command::RunConsole) {
        return Reported(platform, false, [&] { return RunConsole(options.port, player, keys); });
    }
    if (const auto status = platform.PrepareWindow()) {
        return *status;
    }
    return Reported(platform, true, [&] { return platform.RunWindow(options, player, keys); });
}
