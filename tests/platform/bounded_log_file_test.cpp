#include "platform/bounded_log_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/doubles/scratch_folder.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(BoundedLogFile, MakesItsFolderAndAppendsLines) {
    ScratchFolder folder;
    const std::string path = folder.FilePath("Quorvel/quorvel.log");
    BoundedLogFile log(path, 100);
    EXPECT_TRUE(log.Append("first"));
    EXPECT_TRUE(log.Append("second"));
    EXPECT_EQ(Read(path), "first\nsecond\n");
}

TEST(BoundedLogFile, KeepsTwoFilesWithinTheLimit) {
    ScratchFolder folder;
    const std::string path = folder.FilePath("quorvel.log");
    {
        std::ofstream earlier(path, std::ios::binary);
        earlier << "0123456789\n";  // left by an earlier run: counted
    }
    BoundedLogFile log(path, 20);
    EXPECT_TRUE(log.Append("abcdefgh"));                // 11 + 9 = 20 bytes: still fits
    EXPECT_TRUE(log.Append("ij"));                      // would pass 20: the file moves to .1
    EXPECT_TRUE(log.Append("0123456789abcdefghijkl"));  // longer than the limit on its own
    EXPECT_EQ(Read(path + ".1"), "ij\n");
    EXPECT_EQ(Read(path), "0123456789abcdefghijkl\n");
}

TEST(BoundedLogFile, SaysWhenItCannotWrite) {
    ScratchFolder folder;
    { std::ofstream blocker(folder.FilePath("file")); }
    BoundedLogFile log(folder.FilePath("file/quorvel.log"));
    EXPECT_FALSE(log.Append("lost"));
}

}  // namespace
