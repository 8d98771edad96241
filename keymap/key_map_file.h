#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "keymap/key_map.h"

// Where the user's key map lives, and reading and writing it. Linux:
// $XDG_CONFIG_HOME/quorvel/keys.conf (~/.config/quorvel/keys.conf); Windows:
// %APPDATA%\Quorvel\keys.conf.
class KeyMapFile {
  public:
    struct Loaded {
        KeyMap keys;
        std::filesystem::path path;  // empty when the standard map is used
        std::vector<std::string> problems;
        // Of a map without problems, what is no mistake but seldom meant, each said as a
        // problem is (HeldAloneNotes).
        std::vector<std::string> notes;
    };

    // A key map file as read, before its map is made.
    struct Read {
        std::filesystem::path path;  // where it was looked for
        bool exists = false;         // false for a default map that is not there
        std::string bytes;           // as the file holds them
        std::string text;            // the bytes decoded (DecodeText)
        // Why it could not be read (the file's name first, as in every problem).
        std::vector<std::string> problems;
        // Why the file read cannot be trusted with run bindings; empty when it can.
        std::string untrusted;
    };

    static std::filesystem::path DefaultPath();

    // Reads the file Load reads, judging its trust on the file read (never the path again).
    static Read ReadFile(const std::filesystem::path& path);
    // The problem of a map with run bindings in a file that cannot be trusted, as Load says it.
    static std::string RunRefusal(const std::filesystem::path& path, const std::string& why);
    // Why a map with run bindings written to path would not be trusted: the file there (a
    // written map keeps its mode), or for a new one its folders; empty when it would be.
    static std::string WhyUntrustedToWrite(const std::filesystem::path& path);

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
    // The same for a map's whole text, as the keys window keeps it.
    static bool SaveText(const std::filesystem::path& path, const std::string& text,
                         std::filesystem::path& backup, std::string& error);

    // What a written file starts with.
    static std::string Header();
};
