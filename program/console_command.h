#pragma once

#include "program/receiver_command.h"

// --console: the receiver with its history on standard output, no window.
class ConsoleCommand : public ReceiverCommand {
  public:
    CommandLine::Command Id() const override { return CommandLine::Command::RunConsole; }
    bool Asked() const override { return console_; }
    std::optional<bool> Text() const override { return true; }

    void Add(CLI::App& app, CommandLine& options) override;
    std::vector<std::string> Flags() const override;
    void NoteHere(const CLI::App& app, const CommandLine& options, Here& here) const override;
    std::string Help(std::string_view option) const override;

    int Run(const CommandLine& options, ProgramPlatform& platform,
            const IRThread::PlayerFactory& player, KeyMapReloader& keys) override;

  private:
    bool console_ = false;
};
