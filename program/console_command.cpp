#include "program/console_command.h"

#include "options/flag_value.h"
#include "program/console_runner.h"
#include "program/key_source_choice.h"

void ConsoleCommand::Add(CLI::App& app, CommandLine&) {
    // The settings file can set it, the command line unset it: --no-console, or
    // --console=false.
    app.add_flag("--console,!--no-console", console_)->check(FlagValue("--console"));
}

std::vector<std::string> ConsoleCommand::Flags() const {
    return {"--no-console"};
}

void ConsoleCommand::NoteHere(const CLI::App&, const CommandLine&, Here& here) const {
    if (console_) {
        here.insert("--console");
    }
}

std::string ConsoleCommand::Help(std::string_view option) const {
    return option == "--console"
               ? "  --console       no window: print the history on standard output\n"
               : "";
}

int ConsoleCommand::Run(const CommandLine& options, ProgramPlatform& platform,
                        const IRThread::PlayerFactory& player, KeyMapReloader& keys) {
    return Reported(platform, false, [&] {
        const auto judge = MakePressJudge(options, keys.Keys());
        return RunConsole(MakeReceiverLoop(options, keys, judge), player, keys, judge);
    });
}
