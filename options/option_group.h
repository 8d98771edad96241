#pragma once

#include <CLI/CLI.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "options/command_line.h"

// A part of the command line: the options it owns (added to the parser, their values kept
// in the CommandLine or in the group), their lines in --help, and what it refuses of them
// once the settings file is read too. CommandLine::Parse runs each step on every group in
// turn; a group lives for one parse.
class OptionGroup {
  public:
    // The options the command line itself asked for something with, by name ("--port"): an
    // option given, a flag left on.
    using Here = std::set<std::string>;

    virtual ~OptionGroup() = default;

    // Adds its options to app, their values going to options or to the group.
    virtual void Add(CLI::App& app, CommandLine& options) = 0;
    // Its flags that take no value at all ("--learn", "--no-console").
    virtual std::vector<std::string> Flags() const { return {}; }
    // Once the command line is parsed, before the settings file is read: what it asked of
    // this group, added to here.
    virtual void NoteHere(const CLI::App& /*app*/, const CommandLine& /*options*/,
                          Here& /*here*/) const {}
    // The options the settings file leaves alone besides those the command line gave
    // (given): a choice the command line made with some of them stands whole.
    virtual void KeepWhole(const CLI::App& /*app*/, std::set<const CLI::Option*>& /*given*/) const {
    }
    // Its options whose value is a file, which the settings file names from its own folder.
    virtual std::vector<std::string> Files() const { return {}; }
    // Once the settings file is read too: what is wrong with its options (the problem's
    // words, without "quorvel: "), or empty; it may finish their values.
    virtual std::string Check(const CLI::App& /*app*/, CommandLine& /*options*/,
                              const Here& /*here*/) {
        return {};
    }
    // Once the command is chosen: its values that mean nothing for that command are cleared.
    virtual void Chosen(CommandLine& /*options*/) const {}
    // Its lines in --help for option ("--port"), each with its line end; empty when option
    // is not its own.
    virtual std::string Help(std::string_view /*option*/) const { return {}; }
};
