#include "tools/receiver_link.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tools/virtual_port.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

TEST(ReceiverLink, NeverReplacesWhatIsThereAndGoesWithTheProgram) {
    ScratchFolder dir;
    std::ofstream(dir / "precious") << "keep me";
    std::string error;
    EXPECT_EQ(ReceiverLink::Make((dir / "precious").string(), "/dev/pts/0", error), nullptr);
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    EXPECT_EQ(FileText(dir / "precious"), "keep me");

    auto link = ReceiverLink::Make((dir / "receiver").string(), "/dev/pts/0", error);
    ASSERT_NE(link, nullptr) << error;
    EXPECT_EQ(fs::read_symlink(dir / "receiver"), "/dev/pts/0");
    link.reset();
    EXPECT_FALSE(fs::is_symlink(dir / "receiver"));

    // Something else in its place by the end is left alone.
    link = ReceiverLink::Make((dir / "receiver").string(), "/dev/pts/0", error);
    fs::remove(dir / "receiver");
    std::ofstream(dir / "receiver") << "someone else's";
    link.reset();
    EXPECT_EQ(FileText(dir / "receiver"), "someone else's");
}

struct Child {
    pid_t pid = -1;
    int status = 0;
};

Child Spawn(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<char*> argv{const_cast<char*>(QUORVEL_SEND_BINARY)};
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    int in[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    Child run;
    posix_spawn(&run.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    if (::write(in[1], input.data(), input.size()) < 0) {
    }
    ::close(in[1]);
    return run;
}

int Wait(Child& run) {
    ::waitpid(run.pid, &run.status, 0);
    return run.status;
}

class LinkOnSignal : public testing::TestWithParam<int> {};

TEST_P(LinkOnSignal, IsRemoved) {
    ScratchFolder dir;
    const fs::path link = dir / "receiver";
    Child run = Spawn({"--link", link.string()});
    ASSERT_TRUE(Eventually([&] { return fs::is_symlink(link); }));
    ::kill(run.pid, GetParam());
    Wait(run);
    EXPECT_TRUE(WIFSIGNALED(run.status));
    EXPECT_FALSE(fs::is_symlink(link));
}

INSTANTIATE_TEST_SUITE_P(Signals, LinkOnSignal, testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(QuorvelSend, SkipsCommentsAndSaysWhenALineWasRejected) {
    auto port = VirtualPort::CreatePty();
    Child good = Spawn({"--device", port->readerPath()}, "# a session\n\nplay # press\n");
    EXPECT_EQ(WEXITSTATUS(Wait(good)), 0);
    Child bad = Spawn({"--device", port->readerPath()}, "play\nplya\nnext\n");
    EXPECT_EQ(WEXITSTATUS(Wait(bad)), 1);
}

// The multiplexer would make a pseudo-terminal nobody reads; a line past 64 KiB is refused
// (the lines around it still sent), not held whole.
TEST(QuorvelSend, RefusesTheMultiplexerAndAnOverlongLine) {
    Child ptmx = Spawn({"--device", "/dev/ptmx", "play"});
    EXPECT_EQ(WEXITSTATUS(Wait(ptmx)), 2);
    auto port = VirtualPort::CreatePty();
    Child overlong = Spawn({"--device", port->readerPath()},
                           "play\n" + std::string(65 * 1024, 'x') + "\nnext\n");
    EXPECT_EQ(WEXITSTATUS(Wait(overlong)), 1);
}

}  // namespace
