#pragma once

#include "program/program_command.h"

// --learn: learns a remote's keys in the terminal, from every source named (with none,
// found first as --find-port finds one), and adds them to the key map. --replace lets a
// key learnt take the place of another binding there without asking.
class LearnCommand : public ProgramCommand {
  public:
    CommandLine::Command Id() const override { return CommandLine::Command::Learn; }
    bool Asked() const override { return asked_; }
    std::optional<bool> Text() const override { return true; }
    std::string Usage() const override;

    void Add(CLI::App& app, CommandLine& options) override;
    std::vector<std::string> Flags() const override { return {"--learn", "--replace"}; }
    void NoteHere(const CLI::App& app, const CommandLine& options, Here& here) const override;
    std::string Check(const CLI::App& app, CommandLine& options, const Here& here) override;
    std::string Help(std::string_view option) const override;

    std::optional<int> Start(const CommandLine& options, KeyMap& keys,
                             const StartOutput& output) override;

  private:
    bool asked_ = false;
};
