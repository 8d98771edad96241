#pragma once

#include <string>
#include <vector>

#include "options/option_group.h"

// The key sources and how they are read: --port, --lircd, --input, --no-grab, and the
// MQTT broker with its options (mqtt_options.h). The sources the command line names take
// the place of the settings file's, with what the file says of its broker. On Windows,
// lircd is refused in words of its own.
class SourceOptions : public OptionGroup {
  public:
    void Add(CLI::App& app, CommandLine& options) override;
    std::vector<std::string> Flags() const override { return flags_; }
    void NoteHere(const CLI::App& app, const CommandLine& options, Here& here) const override;
    void KeepWhole(const CLI::App& app, std::set<const CLI::Option*>& given) const override;
    std::vector<std::string> Files() const override;
    std::string Check(const CLI::App& app, CommandLine& options, const Here& here) override;
    std::string Help(std::string_view option) const override;

    // Whether the command line itself named a key source.
    static bool SourceHere(const Here& here);

  private:
    // --lircd's values: its default socket when given none. On Windows only taken to be
    // refused.
    std::vector<std::string> lircd_;
    std::vector<std::string> flags_;  // its flags that take no value
};
