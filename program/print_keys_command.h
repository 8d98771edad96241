#pragma once

#include "program/program_command.h"

// --print-keys: the built-in map, or the one --keys names as Quorvel reads it (every
// option spelled out), or its mistakes.
class PrintKeysCommand : public ProgramCommand {
  public:
    CommandLine::Command Id() const override { return CommandLine::Command::PrintKeys; }
    bool Asked() const override { return asked_; }

    void Add(CLI::App& app, CommandLine& options) override;
    std::vector<std::string> Flags() const override { return {"--print-keys"}; }
    void NoteHere(const CLI::App& app, const CommandLine& options, Here& here) const override;
    std::string Help(std::string_view option) const override;

    std::optional<int> Start(const CommandLine& options, KeyMap& keys,
                             const StartOutput& output) override;

  private:
    bool asked_ = false;
};
