#pragma once

#include "program/receiver_command.h"

// The window, what runs when nothing else is asked: the receiver with its history in a
// window, the platform's own. Owns --minimized and --follow, which only it has use for.
class WindowCommand : public ReceiverCommand {
  public:
    CommandLine::Command Id() const override { return CommandLine::Command::RunWindow; }
    bool Asked() const override { return true; }
    std::optional<bool> Text() const override { return false; }
    std::string Usage() const override;

    void Add(CLI::App& app, CommandLine& options) override;
    std::vector<std::string> Flags() const override;
    void NoteHere(const CLI::App& app, const CommandLine& options, Here& here) const override;
    std::string Check(const CLI::App& app, CommandLine& options, const Here& here) override;
    void Chosen(CommandLine& options) const override;
    std::string Help(std::string_view option) const override;

    int Run(const CommandLine& options, ProgramPlatform& platform,
            const IRThread::PlayerFactory& player, KeyMapReloader& keys) override;
};
