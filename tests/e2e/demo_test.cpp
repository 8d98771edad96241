// make demo as a new user runs it after learning another remote: the demo plays its own
// session through the built-in keys, whatever the user's key map and settings say.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"

namespace {

TEST(Demo, ReadsNoneOfTheUsersOwnSettings) {
    ScratchFolder home;
    ASSERT_FALSE(home.Path().empty());
    std::filesystem::create_directory(home.FilePath("quorvel"));
    // A learnt remote that binds the demo's play key to another action, and a port that
    // is not there.
    WriteFile(home.FilePath("quorvel/keys.conf"), "key 0x60 stop\n");
    WriteFile(home.FilePath("quorvel/quorvel.conf"), "port = " + home.FilePath("gone") + "\n");

    ChildProcess demo;
    ChildProcess::Options options =
        Program(QUORVEL_START_SCRIPT, {QUORVEL_BUILD_DIR, "--demo"},
                "unix:path=" + home.FilePath("no-bus"));
    options.environment["XDG_CONFIG_HOME"] = home.Path();
    options.errorPath = home.FilePath("errors");
    ASSERT_TRUE(demo.Start(options)) << demo.Error();

    const auto shown = [&](const std::string& text) {
        const std::vector<std::string> lines = Texts(demo.Lines());
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    };
    EXPECT_TRUE(Eventually([&] { return shown("NEXT!"); }, Deadline));
    EXPECT_TRUE(shown("PLAY!"));
    EXPECT_FALSE(shown("STOP!"));
    EXPECT_EQ(demo.Stop(SIGTERM), 0);
}

}  // namespace
