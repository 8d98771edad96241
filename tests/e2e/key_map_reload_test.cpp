// The key map changed under a running quorvel --console: SIGHUP (systemctl reload) reads it
// again, and so does a save, each said on standard error. The ways a save is seen and what a
// broken map does are the reloader's own tests (tests/program/key_map_reloader_test.cpp).
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;

class KeyMapReload : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        // The map is a link into another folder, so that only SIGHUP sees its first edit.
        std::filesystem::create_directory(folder_.FilePath("elsewhere"));
        WriteFile(target_, "key 0x60 stop\n");
        std::filesystem::create_symlink(target_, map_);
        ASSERT_TRUE(quorvel_.Start(Options()));
        ASSERT_TRUE(port_->WaitForRawReader(Deadline));
    }

    ChildProcess::Options Options() {
        ChildProcess::Options options =
            Program(QUORVEL_BINARY,
                    {"--console", "--no-player", "--keys", map_, "--port", port_->readerPath()},
                    "unix:path=" + folder_.FilePath("no-bus"));
        options.errorPath = errors_;
        return options;
    }

    // The line a press of 0x60 shows now.
    std::string Press() {
        const std::size_t from = quorvel_.Lines().size();
        EXPECT_TRUE(port_->Write({0x91, 0x60}, Deadline));
        quorvel_.WaitForLines(from + 1, Deadline);
        const Lines lines = Texts(quorvel_.Lines(from));
        return lines.empty() ? "" : lines.front();
    }

    // Waits until standard error holds text count times.
    bool ErrorsSay(const std::string& text, int count) {
        Eventually([&] { return Occurrences(FileText(errors_), text) >= count; });
        return Occurrences(FileText(errors_), text) == count;
    }

    ScratchFolder folder_;
    const std::string map_ = folder_.FilePath("keys.conf");
    const std::string target_ = folder_.FilePath("elsewhere/keys.conf");
    const std::string errors_ = folder_.FilePath("errors");
    std::unique_ptr<VirtualPort> port_ = VirtualPort::CreatePty();
    ChildProcess quorvel_;
};

TEST_F(KeyMapReload, HangupAndASaveSwitchMaps) {
    const std::string reloaded = "read again, it applies from the next key";
    EXPECT_EQ(Press(), "STOP!");

    WriteFile(target_, "key 0x60 next\n");
    quorvel_.Signal(SIGHUP);
    ASSERT_TRUE(ErrorsSay(reloaded, 1));
    EXPECT_EQ(Press(), "NEXT!");

    // The program watches the map: a save, as an editor makes it (a new file beside the
    // link, renamed over it), is seen without a signal.
    WriteFile(map_ + ".new", "key 0x60 pause\n");
    ASSERT_EQ(std::rename((map_ + ".new").c_str(), map_.c_str()), 0);
    ASSERT_TRUE(ErrorsSay(reloaded, 2));
    EXPECT_EQ(Press(), "PAUSE!");

    // Still running after all of it, and ends cleanly.
    EXPECT_EQ(quorvel_.Stop(SIGTERM), 0);
}

}  // namespace
