#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "remote/key_map.h"

// Where the user's key map lives, and reading and writing it. Linux:
// $XDG_CONFIG_HOME/quorvel/keys.conf (~/.config/quorvel/keys.conf); Windows:
// %APPDATA%\Quorvel\keys.conf.
class KeyMapFile {
  public:
    struct Loaded {
        KeyMap keys;
        std::filesystem::path path;  // empty when the standard map is used
        std::vector<std::string> problems;
    };

    static std::filesystem::path DefaultPath();

    // path names a file that must exist; empty means the default path, where a missing
    // file means the standard map. Every problem is named by its line. A file with run
    // bindings is refused when others could have written or replaced it (WhyUntrusted on
    // the file read and its folders up to the home; on Windows WhyUntrustedAccess on their
    // access lists up to the profile).
    static Loaded Load(const std::filesystem::path& path);

    // Writes keys to path (folders made as needed) by ReplaceFile: path holds the old map
    // or the new one at every moment, and an old map is kept as path.bak (older backups
    // moved to path.bak.1 and on). backup names the file that holds the old map, empty
    // when there was none. False, with error set, when it could not.
    static bool Save(const std::filesystem::path& path, const KeyMap& keys,
                     std::filesystem::path& backup, std::string& error);

    // What a written file starts with.
    static std::string Header();
};
