#include "keymap/key_map_file.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "options/settings_file.h"
#include "tests/doubles/scoped_variable.h"
#include "tests/doubles/scratch_folder.h"

namespace {

// A key map that runs commands is read only when nobody else could have written it (who
// could is the file trust's table); one that runs none is not judged.
TEST(KeyMapFile, RunBindingsAreRefusedFromAFileOthersCanWrite) {
    const ScratchFolder folder;
    const std::string path = folder.FilePath("keys.conf");
    std::ofstream(path) << "key 42 stop\nkey 43 run touch /tmp/anything\n";
    ::chmod(path.c_str(), 0620);
    EXPECT_EQ(KeyMapFile::Load(path).problems,
              std::vector<std::string>{path + ": refused, since it runs commands and " + path +
                                       " can be written by others (chmod go-w " + path + ")"});
    ::chmod(path.c_str(), 0600);
    KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_TRUE(loaded.keys.HasRunBindings());
    std::ofstream(path) << "key 42 stop\n";
    ::chmod(path.c_str(), 0666);
    EXPECT_TRUE(KeyMapFile::Load(path).problems.empty());
}

// Without HOME (a service, env -i) the map is the user's, not /.config/quorvel/keys.conf.
TEST(KeyMapFile, WithoutHomeTheDefaultComesFromThePasswordDatabase) {
    std::string path;
    {
        const ScopedVariable home("HOME", std::nullopt);
        const ScopedVariable config("XDG_CONFIG_HOME", std::nullopt);
        path = KeyMapFile::DefaultPath();
    }
    const passwd* entry = ::getpwuid(::geteuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(path, std::string(entry->pw_dir) + "/.config/quorvel/keys.conf");
}

// Maps saved as UTF-16 (PowerShell's ">") are read; bytes that are not text are named by
// their line. (Every encoding and line end is DecodeText's.)
TEST(KeyMapFile, ReadsUtf16AndNamesBytesThatAreNotText) {
    const ScratchFolder folder;
    const std::string path = folder.FilePath("keys.conf");
    std::ofstream(path, std::ios::binary)
        << std::string("\xFF\xFEk\0e\0y\0 \0004\0002\0 \0s\0t\0o\0p\0\r\0\n\0", 28);
    KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.keys.Format(), "key  42 stop\n");

    std::ofstream(path, std::ios::binary) << "key 42 stop\n# caf\xE9\n";
    loaded = KeyMapFile::Load(path);
    EXPECT_EQ(loaded.problems,
              std::vector<std::string>{
                  path + ":2: not UTF-8 text (byte 0xE9): save it as UTF-8 or UTF-16"});
}

// Only a default file that is not there is absent: the settings file and the key map
// alike. One that cannot be read (here a loop of links, which even root cannot follow) or
// is far too large for what it is is refused by name, before it is read.
TEST(KeyMapFile, OnlyAMissingDefaultFileIsAbsentAndALargeOneIsRefusedUnread) {
    namespace fs = std::filesystem;
    enum class Kind { Missing, Loop, Large };
    const struct Case {
        Kind kind;
        const char* says;  // after the file's name; empty for none
    } cases[] = {
        {Kind::Missing, ""},
        {Kind::Loop, ": cannot read it: Too many levels of symbolic links"},
        {Kind::Large, ": too large to be read (1048577 bytes; at most 1048576)"},
    };
    for (const Case& c : cases) {
        const ScratchFolder scratch;
        const ScopedVariable config("XDG_CONFIG_HOME", scratch.Path());
        const fs::path folder = scratch / "quorvel";
        fs::create_directory(folder);
        for (const char* name : {"keys.conf", "quorvel.conf"}) {
            if (c.kind == Kind::Loop) {
                fs::create_symlink(folder / name, folder / name);
            } else if (c.kind == Kind::Large) {
                std::ofstream(folder / name) << "key 42 stop\n";
                fs::resize_file(folder / name, 1024 * 1024 + 1);
            }
        }
        const KeyMapFile::Loaded keys = KeyMapFile::Load({});
        const SettingsRead settings = ReadSettings(DefaultSettingsPath());
        if (c.kind == Kind::Missing) {
            EXPECT_TRUE(keys.problems.empty());
            EXPECT_FALSE(settings.exists);
        } else {
            EXPECT_EQ(keys.problems,
                      std::vector<std::string>{(folder / "keys.conf").string() + c.says});
            EXPECT_TRUE(settings.exists);
            EXPECT_EQ(": " + settings.problem, std::string(c.says));
        }
    }
}

// The header of a written map is comments only, and names every kind of line, every
// action, sections and a name in quotes.
TEST(KeyMapFile, TheHeaderSaysTheWholeFormat) {
    const std::string header = KeyMapFile::Header();
    std::vector<std::string> problems;
    EXPECT_EQ(KeyMap::Parse(header, "header", problems).Format(), "");
    EXPECT_EQ(problems, std::vector<std::string>{});
    std::vector<std::string> words{"key ",     "held ",  "double ",   "long ",
                                   "[player=", "[mode=", "\"ch/up\"", "nothing"};
    for (int i = 0; i <= static_cast<int>(LastAction); ++i) {
        words.emplace_back(ActionName(static_cast<PlayerAction>(i)));
    }
    for (const std::string& word : words) {
        EXPECT_NE(header.find(word), std::string::npos) << word;
    }
}

}  // namespace
