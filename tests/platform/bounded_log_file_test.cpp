#include "platform/bounded_log_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"

namespace {

TEST(BoundedLogFile, MakesItsFolderAndAppendsLines) {
    ScratchFolder folder;
    const std::string path = folder.FilePath("Quorvel/quorvel.log");
    BoundedLogFile log(path, 100);
    EXPECT_TRUE(log.Append("first"));
    EXPECT_TRUE(log.Append("second"));
    EXPECT_EQ(FileText(path), "first\nsecond\n");
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
    EXPECT_EQ(FileText(path + ".1"), "ij\n");
    EXPECT_EQ(FileText(path), "0123456789abcdefghijkl\n");
}

// Another copy of the program holding the log, or quorvel.log.1 open elsewhere: the move
// fails, and appending anyway would grow the log without end.
TEST(BoundedLogFile, StaysBoundedWhenTheOlderFileCannotBeReplaced) {
    ScratchFolder folder;
    const std::string path = folder.FilePath("quorvel.log");
    std::filesystem::create_directories(path + ".1/in-the-way");
    BoundedLogFile log(path, 200);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(log.Append("line " + std::to_string(i)));
    }
    const std::string text = FileText(path);
    EXPECT_LT(text.size(), 2 * 200u);
    EXPECT_EQ(text.rfind("(older lines dropped: cannot move it to quorvel.log.1: ", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 9), "line 999\n");
}

TEST(BoundedLogFile, SaysWhenItCannotWrite) {
    ScratchFolder folder;
    { std::ofstream blocker(folder.FilePath("file")); }
    BoundedLogFile log(folder.FilePath("file/quorvel.log"));
    EXPECT_FALSE(log.Append("lost"));
}

}  // namespace
