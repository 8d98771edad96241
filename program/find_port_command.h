#pragma once

#include "finder/find_port_session.h"
#include "learning/typed_input.h"
#include "program/program_command.h"

// --find-port (also --find-remote): listens on the ports named, else on every port and
// remote here and the broker the settings name, says where a key arrives, and offers to
// keep it in the settings file. It talks with the terminal itself.
class FindPortCommand : public ProgramCommand {
  public:
    CommandLine::Command Id() const override { return CommandLine::Command::FindPort; }
    bool Asked() const override { return asked_; }
    std::optional<bool> Text() const override { return true; }
    std::string Usage() const override;

    void Add(CLI::App& app, CommandLine& options) override;
    void NoteHere(const CLI::App& app, const CommandLine& options, Here& here) const override;
    std::string Check(const CLI::App& app, CommandLine& options, const Here& here) override;
    std::string Help(std::string_view option) const override;

    std::optional<int> Start(const CommandLine& options, KeyMap& keys,
                             const StartOutput& output) override;

    // The search, in the terminal (--learn's too, without a source), the answer to its
    // question read from typed: where a key arrived, empty when none was found.
    static FoundRemote Search(const CommandLine& options, TypedInput& typed);

  private:
    bool asked_ = false;
};
