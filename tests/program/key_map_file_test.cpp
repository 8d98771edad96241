#include "program/key_map_file.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// A key map that runs commands is read only when nobody else could have written it.
TEST(KeyMapFile, RunBindingsAreRefusedFromAFileOthersCanWrite) {
    char folder[] = "/tmp/quorvel-keys-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/keys.conf";
    std::ofstream(path) << "key 42 stop\nkey 43 run touch /tmp/anything\n";
    for (const mode_t mode : {0620, 0602}) {
        ::chmod(path.c_str(), mode);
        const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
        ASSERT_EQ(loaded.problems.size(), 1u) << mode;
        EXPECT_NE(loaded.problems[0].find("can be written by others"), std::string::npos)
            << loaded.problems[0];
    }
    ::chmod(path.c_str(), 0600);
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_TRUE(loaded.keys.HasRunBindings());
    std::filesystem::remove_all(folder);
}

// A folder others can write lets them swap the map for their own, whatever its mode.
TEST(KeyMapFile, RunBindingsAreRefusedFromAFolderOthersCanWrite) {
    char scratch[] = "/tmp/quorvel-keys-XXXXXX";
    ASSERT_NE(::mkdtemp(scratch), nullptr);
    const std::string folder = std::string(scratch) + "/quorvel";
    ::mkdir(folder.c_str(), 0700);
    ::chmod(folder.c_str(), 0777);
    const std::string path = folder + "/keys.conf";
    std::ofstream(path) << "key 43 run touch /tmp/anything\n";
    ::chmod(path.c_str(), 0600);
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    ASSERT_EQ(loaded.problems.size(), 1u);
    EXPECT_NE(loaded.problems[0].find("chmod go-w " + folder), std::string::npos)
        << loaded.problems[0];
    std::filesystem::remove_all(scratch);
}

// Without HOME (a service, env -i) the map is the user's, not /.config/quorvel/keys.conf.
TEST(KeyMapFile, WithoutHomeTheDefaultComesFromThePasswordDatabase) {
    const char* home = std::getenv("HOME");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string savedHome = home != nullptr ? home : "";
    const std::string savedConfig = config != nullptr ? config : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    const std::string path = KeyMapFile::DefaultPath();
    if (home != nullptr) {
        ::setenv("HOME", savedHome.c_str(), 1);
    }
    if (config != nullptr) {
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    }
    const passwd* entry = ::getpwuid(::geteuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(path, std::string(entry->pw_dir) + "/.config/quorvel/keys.conf");
}

}  // namespace

namespace {

// Maps saved as UTF-16 (PowerShell's ">") are read; bytes that are not text are named.
TEST(KeyMapFile, ReadsUtf16AndNamesBytesThatAreNotText) {
    char folder[] = "/tmp/quorvel-keys-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/keys.conf";
    std::ofstream(path, std::ios::binary)
        << std::string("\xFF\xFEk\0e\0y\0 \0004\0002\0 \0s\0t\0o\0p\0\r\0\n\0", 28);
    KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.keys.Format(), "key  42 stop\n");

    std::ofstream(path, std::ios::binary) << "key 42 stop\n# caf\xE9\n";
    loaded = KeyMapFile::Load(path);
    ASSERT_EQ(loaded.problems.size(), 1u);
    EXPECT_EQ(loaded.problems[0],
              path + ":2: not UTF-8 text (byte 0xE9): save it as UTF-8 or UTF-16");
    std::filesystem::remove_all(folder);
}

}  // namespace
