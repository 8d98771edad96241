#include "platform/file_replacement.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

unsigned Mode(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class FileReplacementTest : public ::testing::Test {
  protected:
    ScratchFolder dir_;
    fs::path folder_ = dir_.Path();
    fs::path keys_ = folder_ / "keys.conf";
};

// Only a regular file, a link to one, or nothing at all may be written; anything else is
// left exactly where it was.
TEST_F(FileReplacementTest, RefusesWhatIsNotAFile) {
    const fs::path sub = folder_ / "sub";
    fs::create_directory(sub);
    ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
    fs::create_symlink(sub, folder_ / "to-folder");
    fs::create_symlink(folder_ / "absent", folder_ / "dangling");
    WriteFile(folder_ / "plain", "x");
    fs::create_symlink(folder_ / "plain", folder_ / "to-plain");
    struct Case {
        std::string name;
        std::string why;  // empty when it may be written
    } const cases[] = {
        {"sub", "it is a folder"},
        {"fifo", "it is a pipe"},
        {"to-folder", "and it is a folder"},
        {"dangling", "which does not exist"},
        {"plain", ""},
        {"to-plain", ""},
        {"new-one", ""},
    };
    for (const Case& c : cases) {
        const std::string path = (folder_ / c.name).string();
        const std::string why = WhyNotAFileToWrite(path);
        if (c.why.empty()) {
            EXPECT_EQ(why, "") << c.name;
            continue;
        }
        EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
        EXPECT_FALSE(ReplaceFile(path, "new\n").error.empty()) << c.name;
        EXPECT_FALSE(fs::exists(fs::symlink_status(path + ".bak"))) << c.name;
    }
    EXPECT_TRUE(fs::is_directory(sub));
    EXPECT_FALSE(fs::exists(folder_ / "absent"));
}

TEST_F(FileReplacementTest, RefusesADeviceNode) {
    const fs::path device = folder_ / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "making a device node needs root";
    }
    EXPECT_EQ(WhyNotAFileToWrite(device), "it is a device");
    EXPECT_FALSE(ReplaceFile(device, "new\n").error.empty());
    EXPECT_TRUE(fs::is_character_file(device));
}

// A link planted where a careless writer would put its temporary file is never written
// through, and the map never becomes a link.
TEST_F(FileReplacementTest, NeverWritesThroughAPlantedLink) {
    const fs::path victim = folder_ / "victim";
    WriteFile(victim, "precious\n");
    fs::create_symlink(victim, folder_ / "keys.conf.new");
    const FileReplacement replaced = ReplaceFile(keys_, "new\n");
    ASSERT_EQ(replaced.error, "");
    EXPECT_EQ(FileText(victim), "precious\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(keys_)));
    EXPECT_EQ(FileText(keys_), "new\n");
    EXPECT_EQ(Mode(keys_), 0600u);
    EXPECT_EQ(replaced.backup, "");
}

// A link to the map is kept: the file it points to is replaced, its backup beside it.
TEST_F(FileReplacementTest, ALinkToTheMapStaysALink) {
    const fs::path real = folder_ / "real.conf";
    WriteFile(real, "old\n");
    fs::create_symlink(real, keys_);
    const FileReplacement replaced = ReplaceFile(keys_, "new\n");
    ASSERT_EQ(replaced.error, "");
    EXPECT_TRUE(fs::is_symlink(keys_));
    EXPECT_EQ(FileText(real), "new\n");
    EXPECT_EQ(replaced.backup, real.string() + ".bak");
    EXPECT_EQ(FileText(replaced.backup), "old\n");
}

// The old map's mode is kept; a backup that holds another map moves down the numbered
// backups and only the oldest is dropped.
TEST_F(FileReplacementTest, KeepsEveryDifferentMapUpToTheNumberedBackups) {
    WriteFile(keys_, "hand-made\n");
    ::chmod(keys_.c_str(), 0640);
    const std::string bak = keys_.string() + ".bak";
    struct Step {
        std::string write;
        std::vector<std::string> backups;  // .bak, .bak.1, .bak.2, .bak.3; "" for none
    } const steps[] = {
        {"first\n", {"hand-made\n", "", "", ""}},
        {"second\n", {"first\n", "hand-made\n", "", ""}},
        {"second\n", {"second\n", "first\n", "hand-made\n", ""}},
        {"second\n", {"second\n", "first\n", "hand-made\n", ""}},  // .bak already holds it
        {"third\n", {"second\n", "first\n", "hand-made\n", ""}},
        {"fourth\n", {"third\n", "second\n", "first\n", "hand-made\n"}},
        {"fifth\n", {"fourth\n", "third\n", "second\n", "first\n"}},
    };
    for (const Step& step : steps) {
        const FileReplacement replaced = ReplaceFile(keys_, step.write);
        ASSERT_EQ(replaced.error, "") << step.write;
        EXPECT_EQ(replaced.backup, bak);
        EXPECT_EQ(FileText(keys_), step.write);
        EXPECT_EQ(Mode(keys_), 0640u);
        for (int number = 0; number <= NumberedBackups; ++number) {
            const fs::path name = number == 0 ? bak : bak + "." + std::to_string(number);
            const std::string& expected = step.backups[static_cast<size_t>(number)];
            EXPECT_EQ(fs::exists(name) ? FileText(name) : "", expected) << step.write << number;
        }
    }
    // Nothing temporary is left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) {
        ++files;
    }
    EXPECT_EQ(files, 1 + 1 + NumberedBackups);
}

// What is not a backup of ours at a numbered place (a folder) is left as it is, with all
// it holds, and the backup before it is then the oldest: nothing is left one place further.
TEST_F(FileReplacementTest, LeavesAFolderAmongTheBackupsAsItIs) {
    const std::string bak = keys_.string() + ".bak";
    WriteFile(keys_, "map 0\n");
    fs::create_directory(bak + ".3");
    WriteFile(bak + ".3/mine", "kept\n");
    for (int save = 1; save <= 4; ++save) {
        ASSERT_EQ(ReplaceFile(keys_, "map " + std::to_string(save) + "\n").error, "");
    }
    EXPECT_EQ(FileText(bak), "map 3\n");
    EXPECT_EQ(FileText(bak + ".1"), "map 2\n");
    EXPECT_EQ(FileText(bak + ".2"), "map 1\n");
    EXPECT_EQ(FileText(bak + ".3/mine"), "kept\n");
    EXPECT_FALSE(fs::exists(bak + ".4"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 5);

    // A folder where the first backup goes keeps the file from being replaced.
    fs::create_directory(folder_ / "other.conf.bak");
    WriteFile(folder_ / "other.conf", "old\n");
    EXPECT_EQ(ReplaceFile(folder_ / "other.conf", "new\n").error,
              "cannot keep the old content as " + (folder_ / "other.conf.bak").string() +
                  ": it is a folder");
    EXPECT_EQ(FileText(folder_ / "other.conf"), "old\n");
}

// A file marked read-only stays so, in its group; a file without backups leaves none.
TEST_F(FileReplacementTest, KeepsTheReadOnlyMarkAndTheGroup) {
    WriteFile(keys_, "old\n");
    const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
    ASSERT_EQ(::chown(keys_.c_str(), static_cast<uid_t>(-1), group), 0);
    ASSERT_EQ(::chmod(keys_.c_str(), 0444), 0);
    EXPECT_TRUE(IsMarkedReadOnly(keys_));
    ASSERT_EQ(ReplaceFile(keys_, "new\n", Backups::None).error, "");
    struct stat st {};
    ASSERT_EQ(::stat(keys_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(FileText(keys_), "new\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
    ::chmod(keys_.c_str(), 0644);
    EXPECT_FALSE(IsMarkedReadOnly(keys_));
    EXPECT_FALSE(IsMarkedReadOnly(folder_ / "absent"));
}

// Sets or clears the immutable flag, which makes renaming the file, or over it, fail;
// false where that cannot be done (not root, or a file system without it).
bool MakeImmutable(const fs::path& path, bool immutable) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

// A save that fails while the backups move down, or at the final rename, leaves the map and
// every backup as they were, the oldest included.
TEST_F(FileReplacementTest, AFailedSaveKeepsEveryBackup) {
    const std::string bak = keys_.string() + ".bak";
    const std::vector<std::string> files = {keys_.string(), bak, bak + ".1", bak + ".2",
                                            bak + ".3"};
    for (const std::string& stuck : {keys_.string(), bak + ".1"}) {
        for (size_t i = 0; i < files.size(); ++i) {
            WriteFile(files[i], "map " + std::to_string(i) + "\n");
        }
        if (!MakeImmutable(stuck, true)) {
            GTEST_SKIP() << "making a file immutable needs root and a file system with it";
        }
        const FileReplacement replaced = ReplaceFile(keys_, "new\n");
        MakeImmutable(stuck, false);
        EXPECT_NE(replaced.error, "") << stuck;
        EXPECT_EQ(replaced.backup, "") << stuck;
        for (size_t i = 0; i < files.size(); ++i) {
            EXPECT_EQ(FileText(files[i]), "map " + std::to_string(i) + "\n") << stuck << " " << i;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()),
                  static_cast<long>(files.size()))
            << stuck;
    }
}

}  // namespace
