// How many threads quorvel --console runs: the receiver's loop and the main thread that
// waits for the end, however much is under way. A run command still running when the
// program is stopped goes on running.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"
#include "tests/doubles/scratch_folder.h"
#include "tests/e2e/programs.h"
#include "tests/player/private_bus.h"
#include "tests/player/stand_in_process.h"
#include "tools/virtual_port.h"

namespace {

// The thread sanitizer's runtime runs a thread of its own in every program it builds.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t RuntimeThreads = 1;
#else
constexpr std::size_t RuntimeThreads = 0;
#endif

std::size_t Threads(pid_t pid) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        ++count;
    }
    return count;
}

// With the key map watched, a key just sent to a player and a run command still running.
TEST(ThreadBudget, TheConsoleRunsTwoThreadsWhateverIsUnderWay) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    StandInProcess player(bus, {"standin"});
    ASSERT_TRUE(player.Start());
    ScratchFolder folder;
    const std::string started = folder.FilePath("started");
    const std::string map = folder.FilePath("keys.conf");
    WriteFile(map,
              "key 0x60 play-pause\nkey 0x18 run echo $$ > " + started + " && exec sleep 30\n");
    auto port = VirtualPort::CreatePty();
    ChildProcess quorvel;
    ASSERT_TRUE(quorvel.Start(Program(
        QUORVEL_BINARY, {"--console", "--keys", map, "--port", port->readerPath()}, bus.Address())))
        << quorvel.Error();
    ASSERT_TRUE(port->WaitForRawReader(Deadline));

    ASSERT_TRUE(port->Write({0x91, 0x60, 0x91, 0x18}, Deadline));
    EXPECT_EQ(player.WaitForCalls(1), std::vector<std::string>{"PlayPause"});
    ASSERT_TRUE(Eventually([&] { return !FileText(started).empty(); }));
    EXPECT_EQ(Threads(quorvel.Pid()), 2u + RuntimeThreads);

    EXPECT_EQ(quorvel.Stop(SIGTERM), 0);
    const pid_t command = std::stoi(FileText(started));
    EXPECT_EQ(::kill(command, 0), 0) << "the run command did not outlive the program";
    ::kill(command, SIGKILL);
}

}  // namespace
