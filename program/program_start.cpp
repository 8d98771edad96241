#include "program/program_start.h"

#include <cstdio>

#include "program/console_command.h"
#include "program/find_port_command.h"
#include "program/learn_command.h"
#include "program/print_keys_command.h"
#include "program/window_command.h"

namespace {

std::vector<Verb*> Verbs(const std::vector<std::unique_ptr<ProgramCommand>>& commands) {
    std::vector<Verb*> verbs;
    for (const auto& command : commands) {
        verbs.push_back(command.get());
    }
    return verbs;
}

}  // namespace

StartOutput StartOutput::Standard() {
    return {[](const std::string& text) { std::fputs(text.c_str(), stdout); },
            [](const std::string& text) { std::fputs(text.c_str(), stderr); }};
}

std::vector<std::unique_ptr<ProgramCommand>> ProgramCommands() {
    std::vector<std::unique_ptr<ProgramCommand>> commands;
    commands.push_back(std::make_unique<WindowCommand>());
    commands.push_back(std::make_unique<ConsoleCommand>());
    commands.push_back(std::make_unique<LearnCommand>());
    commands.push_back(std::make_unique<FindPortCommand>());
    commands.push_back(std::make_unique<PrintKeysCommand>());
    return commands;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& settings) {
    return CommandLine::Parse(args, settings, Verbs(ProgramCommands()));
}

std::string ProgramHelp() {
    return CommandLine::HelpText(Verbs(ProgramCommands()));
}

std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys,
                                const StartOutput& output) {
    switch (options.command) {
        case CommandLine::Command::UsageError:
            output.err(options.problem);
            return CommandLine::UsageError;
        case CommandLine::Command::PrintHelp:
            output.out(ProgramHelp());
            return 0;
        case CommandLine::Command::PrintVersion:
            output.out(std::string(CommandLine::VersionText) + "\n");
            return 0;
        default:
            break;
    }
    for (const auto& command : ProgramCommands()) {
        if (command->Id() == options.command) {
            return command->Start(options, keys, output);
        }
    }
    return std::nullopt;
}
