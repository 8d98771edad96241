#include "receiver/command_runner.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <set>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"
#include "tests/doubles/log_capture.h"
#include "tests/doubles/loop_turns.h"
#include "tests/doubles/scratch_folder.h"

namespace {

using namespace std::chrono_literals;
using Outcome = CommandRunner::Outcome;

// A command that runs until the test ends it.
class FakeChild : public ChildCommand {
  public:
    explicit FakeChild(const std::set<std::string>& ended, std::string command)
        : ended_(ended), command_(std::move(command)) {}
    bool Running(std::string& ended) override {
        ended = command_ == "false" ? "ended with status 1" : "";
        return ended_.count(command_) == 0;
    }
    EventLoop::Handle EndHandle() const override { return -1; }  // only Running tells

  private:
    const std::set<std::string>& ended_;
    std::string command_;
};

struct Press {
    std::chrono::milliseconds at;
    std::string command;
    Outcome outcome;
    std::string ends;  // a command that has ended before this press; "" for none
};

// Each binding one at a time; at most four starts in any second, across all bindings.
TEST(CommandRunner, RunsEachCommandOnceAtATimeAndAFewASecond) {
    std::set<std::string> ended;
    std::chrono::steady_clock::time_point now{};
    int started = 0;
    CommandRunner runner(
        [&](const std::string& command, std::string&) {
            ++started;
            ended.erase(command);
            return std::make_unique<FakeChild>(ended, command);
        },
        [&] { return now; });
    const Press presses[] = {
        {0ms, "sleep 4", Outcome::Started, ""},
        {110ms, "sleep 4", Outcome::StillRunning, ""},  // the key's repeats
        {220ms, "sleep 4", Outcome::StillRunning, ""},
        {300ms, "a", Outcome::Started, ""},
        {310ms, "b", Outcome::Started, ""},
        {320ms, "a", Outcome::StillRunning, ""},
        {330ms, "c", Outcome::Started, ""},
        {340ms, "d", Outcome::TooMany, ""},
        {350ms, "a", Outcome::TooMany, "a"},  // ended, but the second is full
        {999ms, "e", Outcome::TooMany, ""},
        {1000ms, "e", Outcome::Started, ""},  // the first start is a second old
        {1010ms, "f", Outcome::TooMany, ""},
        {1300ms, "a", Outcome::Started, ""},
        {1400ms, "sleep 4", Outcome::StillRunning, ""},
        {4000ms, "sleep 4", Outcome::Started, "sleep 4"},
    };
    LogCapture log;
    for (const Press& press : presses) {
        now = std::chrono::steady_clock::time_point{} + press.at;
        if (!press.ends.empty()) {
            ended.insert(press.ends);
        }
        EXPECT_EQ(runner.Run(press.command), press.outcome)
            << press.command << " at " << press.at.count();
    }
    EXPECT_EQ(started, 7);
    // Said once per run that blocks a key, and once per spell of too many.
    EXPECT_EQ(log.Count("\"sleep 4\" still runs"), 1);
    EXPECT_EQ(log.Count("\"a\" still runs"), 1);
    EXPECT_EQ(log.Count("commands a second"), 2);
}

TEST(CommandRunner, SaysWhyACommandFailedOrEndedBadly) {
    std::set<std::string> ended{"false"};
    CommandRunner runner(
        [&](const std::string& command, std::string& error) -> std::unique_ptr<ChildCommand> {
            if (command == "broken") {
                error = "cannot fork: Resource temporarily unavailable";
                return nullptr;
            }
            return std::make_unique<FakeChild>(ended, command);
        });
    LogCapture log;
    EXPECT_EQ(runner.Run("broken"), Outcome::Failed);
    EXPECT_EQ(runner.Run("false"), Outcome::Started);
    EXPECT_EQ(runner.Run("\x1b[2J"), Outcome::Started);
    EXPECT_EQ(log.Messages("quorvel.remote"),
              (std::vector<std::string>{
                  "cannot run \"broken\": cannot fork: Resource temporarily unavailable",
                  "\"false\" ended with status 1"}));
}

// A command that ends badly is reaped and said as it ends, on the loop, not at the next
// run; one that still runs when the runner goes is left running, and nothing waits for it.
TEST(CommandRunner, SaysABadEndAtOnceAndLeavesTheRestRunning) {
    LogCapture log;
    ScratchFolder dir;
    const std::string pidFile = dir.FilePath("pid");
    const auto loop = MakeEventLoop();
    {
        CommandRunner runner;
        runner.Attach(*loop);
        EXPECT_EQ(runner.Run("exit 3"), Outcome::Started);
        EXPECT_EQ(runner.Run("echo $$ > " + pidFile + ".new && mv " + pidFile + ".new " + pidFile +
                             " && exec sleep 30"),
                  Outcome::Started);
        EXPECT_TRUE(
            TurnUntil(*loop, [&] { return log.Count("\"exit 3\" ended with status 3") == 1; }));
        ASSERT_TRUE(Eventually([&] { return !FileText(pidFile).empty(); }));
    }
    const pid_t outlived = std::stoi(FileText(pidFile));
    EXPECT_EQ(::kill(outlived, 0), 0) << "the command did not outlive the runner";
    ::kill(outlived, SIGKILL);
    EXPECT_EQ(log.Count("sleep"), 0);
}

// The real thing: what the command has for standard input, output and error, and why an
// exec fails.
std::string RunToEnd(const std::string& command, std::string& ended) {
    std::string error;
    const auto child = StartChildCommand(command, error);
    if (!child) {
        return error;
    }
    Eventually([&] { return !child->Running(ended); }, 60s);  // a safety net only
    return {};
}

TEST(ChildCommand, RunsWithNothingForInputAndOutput) {
    ScratchFolder dir;
    const std::string out = dir.FilePath("fds");
    std::string ended;
    // Read in a substitution: the shell's own descriptors are still the ones it was given.
    ASSERT_EQ(
        RunToEnd(
            "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); echo \"$fds\" > " + out,
            ended),
        "");
    EXPECT_EQ(ended, "");
    EXPECT_EQ(FileText(out), "/dev/null\n/dev/null\n/dev/null\n");

    ASSERT_EQ(RunToEnd("exit 3", ended), "");
    EXPECT_EQ(ended, "ended with status 3");
    ASSERT_EQ(RunToEnd("quorvel-no-such-command-anywhere", ended), "");
    EXPECT_EQ(ended, "ended with status 127 (not found)");
}

TEST(ChildCommand, ACommandTooLongToExecIsSaid) {
    std::string ended;
    const std::string error = RunToEnd("true " + std::string(200 * 1024, 'x'), ended);
    EXPECT_NE(error.find("Argument list too long"), std::string::npos) << error;
    EXPECT_NE(error.find("the command is 204805 bytes"), std::string::npos) << error;
}

}  // namespace
