#pragma once

#include <string>
#include <vector>

#include "options/option_group.h"

// The player commanded and how: --player, --ignore-player and --no-player (Linux), and
// --notify. The command line's choice of player stands whole over the settings file's.
class PlayerOptions : public OptionGroup {
  public:
    void Add(CLI::App& app, CommandLine& options) override;
    std::vector<std::string> Flags() const override;
    void KeepWhole(const CLI::App& app, std::set<const CLI::Option*>& given) const override;
    std::string Check(const CLI::App& app, CommandLine& options, const Here& here) override;
    std::string Help(std::string_view option) const override;

  private:
    bool noPlayer_ = false;
};
