#include "program/key_map_file.h"

#include <sys/stat.h>

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
        EXPECT_NE(loaded.problems[0].find("others can write it"), std::string::npos)
            << loaded.problems[0];
    }
    ::chmod(path.c_str(), 0600);
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_TRUE(loaded.keys.HasRunBindings());
    std::filesystem::remove_all(folder);
}

}  // namespace
