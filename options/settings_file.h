#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_replacement.h"

// The settings file: the program's options as NAME = VALUE lines, one a line ("port =
// /dev/ttyUSB0", "console = true"), read as any text file a user may have saved (see
// DecodeText). A line that is empty or starts with # or ; says nothing; a # that starts a
// word ends the value, unless the value is quoted ("..." or '...', taken as it stands).

// $XDG_CONFIG_HOME/quorvel/quorvel.conf (~/.config/quorvel/quorvel.conf); Windows:
// %APPDATA%\Quorvel\quorvel.conf. Beside the default key map.
std::filesystem::path DefaultSettingsPath();

struct Setting {
    int line = 0;  // counted from 1
    std::string key;
    std::string value;
};

struct SettingsRead {
    bool exists = false;
    std::vector<Setting> settings;
    // Empty when the file could be read; else what is wrong ("no such file"), and the line
    // it is on when it is about one (0 otherwise).
    std::string problem;
    int problemLine = 0;
};

SettingsRead ReadSettings(const std::filesystem::path& file);

// The line that sets key to value, as SaveSetting writes it, which ReadSettings reads back
// as value: quoted when it holds a #, a quote or blanks at either end. Empty when no line
// can hold value (a line break, or both kinds of quote).
std::string SettingLine(std::string_view key, std::string_view value);

// Sets key to value in the file: rewrites the line that sets it (the last, when several
// do) or appends one, keeping every other line and comment as it was. Made whole or not at
// all (ReplaceFile), its folder created when missing. False, with why in problem, when it
// cannot be written or value cannot be written on one line. The lines that set any of
// replacing (which may hold key) give way to the one line, where the last of them was: for
// a setting that takes the place of others, as one key source does another's. With add, a
// line is appended and the others that set key stay (a setting given more than once, as
// port is), unless one sets key to value already. backups as ReplaceFile takes them.
bool SaveSetting(const std::filesystem::path& file, std::string_view key, std::string_view value,
                 std::string& problem, const std::vector<std::string_view>& replacing = {},
                 bool add = false, Backups backups = Backups::Keep);
