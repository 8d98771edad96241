// The key map changed under a running quorvel --console: SIGHUP (systemctl reload) reads it
// again, and so does a save, whether the editor writes the file in place or renames a new
// one over it; a broken map leaves the old one working and says why on standard error.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/doubles/eventually.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tools/virtual_port.h"

namespace {

using Lines = std::vector<std::string>;

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::trunc) << text;
}

// As an editor saves: a new file beside the old one, renamed over it.
void Save(const std::string& path, const std::string& text) {
    Write(path + ".new", text);
    ASSERT_EQ(std::rename((path + ".new").c_str(), path.c_str()), 0);
}

class KeyMapReload : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.Path().empty());
        // The map is a link into another folder, so that only SIGHUP sees its first edit.
        std::filesystem::create_directory(folder_.FilePath("elsewhere"));
        Write(target_, "key 0x60 stop\n");
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
        int found = 0;
        Eventually([&] {
            std::ostringstream read;
            read << std::ifstream(errors_).rdbuf();
            const std::string all = read.str();
            found = 0;
            for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
                ++found;
            }
            return found >= count;
        });
        return found == count;
    }

    ScratchFolder folder_;
    const std::string map_ = folder_.FilePath("keys.conf");
    const std::string target_ = folder_.FilePath("elsewhere/keys.conf");
    const std::string errors_ = folder_.FilePath("errors");
    std::unique_ptr<VirtualPort> port_ = VirtualPort::CreatePty();
    ChildProcess quorvel_;
};

TEST_F(KeyMapReload, HangupSwitchesMapsAndASaveIsSeenUnlessBroken) {
    const std::string reloaded = "read again, it applies from the next key";
    EXPECT_EQ(Press(), "STOP!");

    Write(target_, "key 0x60 next\n");
    quorvel_.Signal(SIGHUP);
    ASSERT_TRUE(ErrorsSay(reloaded, 1));
    EXPECT_EQ(Press(), "NEXT!");

    Save(map_, "key 0x60 next\n\nkey 0x61 stpo\n");
    ASSERT_TRUE(ErrorsSay(":3: unknown action \"stpo\" (did you mean \"stop\"?)", 1));
    EXPECT_EQ(Press(), "NEXT!");

    Save(map_, "key 0x60 play\n");
    ASSERT_TRUE(ErrorsSay(reloaded, 2));
    EXPECT_EQ(Press(), "PLAY!");

    Write(map_, "key 0x60 pause\n");
    ASSERT_TRUE(ErrorsSay(reloaded, 3));
    EXPECT_EQ(Press(), "PAUSE!");

    // Still running after all of it, and ends cleanly.
    EXPECT_EQ(quorvel_.Stop(SIGTERM), 0);
}

}  // namespace
