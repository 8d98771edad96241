#pragma once

#include <CLI/CLI.hpp>
#include <map>
#include <string>
#include <vector>

class OptionGroup;

// What the command line's reading shares with the settings file's (command_line.cpp,
// command_line_settings.cpp).

// The settings file's values for the options the command line left out; empty, or what
// is wrong with the file. Each value goes through its option as one given on the command
// line would, checks and all; the groups say which of their options the file leaves alone
// beside one given (KeepWhole) and which name a file, found beside it (Files). CLI11's own
// config reader is not used: it splits a value at commas and spaces ("vlc,spotify", a
// player's Identity), knows no line numbers, and opens the file by its ANSI name on
// Windows.
std::string ApplySettings(CLI::App& app, const std::string& file, bool mustExist,
                          const std::vector<OptionGroup*>& groups,
                          std::map<std::string, std::string>& setAt);
