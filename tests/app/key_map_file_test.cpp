#include "app/key_map_file.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>

namespace {

// A key map that runs commands is read only when nobody else could have written it.
TEST(KeyMapFile, RunBindingsAreRefusedFromAFileOthersCanWrite) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("keys.conf")).toStdString();
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
}

// A folder others can write lets them swap the map for their own, whatever its mode.
TEST(KeyMapFile, RunBindingsAreRefusedFromAFolderOthersCanWrite) {
    QTemporaryDir dir;
    const std::string folder = dir.filePath(QStringLiteral("quorvel")).toStdString();
    ::mkdir(folder.c_str(), 0700);
    ::chmod(folder.c_str(), 0777);
    const std::string path = folder + "/keys.conf";
    std::ofstream(path) << "key 43 run touch /tmp/anything\n";
    ::chmod(path.c_str(), 0600);
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    ASSERT_EQ(loaded.problems.size(), 1u);
    EXPECT_NE(loaded.problems[0].find("chmod go-w " + folder), std::string::npos)
        << loaded.problems[0];
}

}  // namespace
