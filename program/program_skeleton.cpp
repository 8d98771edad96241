#include "program/program_skeleton.h"

#include <algorithm>
#include <utility>

#include "options/settings_file.h"
#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "player/null_player_link.h"
#include "program/program_start.h"

namespace {

// The command the options ask for; none for help, the version or a usage error.
std::unique_ptr<ProgramCommand> CommandFor(const CommandLine& options) {
    for (auto& command : ProgramCommands()) {
        if (command->Id() == options.command) {
            return std::move(command);
        }
    }
    return nullptr;
}

}  // namespace

int RunProgram(const std::vector<std::string>& args, ProgramPlatform& platform) {
    // systemctl restart, then reload: the reload may come before anything is set up.
    QuitSignal::HoldHangups();
    const CommandLine options = ParseCommandLine(args, Utf8FromPath(DefaultSettingsPath()));
    const std::unique_ptr<ProgramCommand> command = CommandFor(options);
    if (command == nullptr || !command->Receives()) {
        QuitSignal::ReleaseHangups();  // no reload to be had
    }
    // Whether the user chose text over windows: --console asked for here (even beside a
    // mistake, which is then said as text), or a command that talks with the terminal.
    const bool text = (command ? command->Text() : std::nullopt)
                          .value_or(std::find(args.begin(), args.end(), "--console") != args.end());
    if (const auto status = platform.Starting(options, text)) {
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
    return command->Run(options, platform, player, keys);
}
