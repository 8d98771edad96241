#include "history/console_history_list.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "history/history_log.h"

namespace {

// What a ConsoleHistoryList printed while the writes ran, up to and including its end.
std::string Printed(bool terminal, const std::function<void(HistoryLog&)>& writes) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    {
        ConsoleHistoryList list(out, terminal);
        HistoryLog log(list);
        writes(log);
    }
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// A play press, then a stray byte, as the signal cycle writes them.
void Session(HistoryLog& log) {
    log.AppendLine("Waiting for new signal...");
    log.ReplaceLastLine("PLAY!");
    log.AppendLine("Waiting for new signal...");
    log.AppendLine("5");
    log.AppendLine("Waiting for new signal...");
}

TEST(ConsoleHistoryList, PipeGetsEachFinalLineOnceAndNeverTheOpenOne) {
    EXPECT_EQ(Printed(false, Session), "PLAY!\nWaiting for new signal...\n5\n");
}

TEST(ConsoleHistoryList, TerminalRewritesTheLastLineInPlace) {
    const std::string e = "\r\033[K";
    EXPECT_EQ(Printed(true, Session), e + "Waiting for new signal..." + e + e + "PLAY!\n" + e +
                                          "Waiting for new signal...\n" + e + "5\n" + e +
                                          "Waiting for new signal...\n");
}

TEST(ConsoleHistoryList, NothingWrittenPrintsNothing) {
    EXPECT_EQ(Printed(false, [](HistoryLog&) {}), "");
    EXPECT_EQ(Printed(true, [](HistoryLog&) {}), "");
}

TEST(ConsoleHistoryList, ManyReplacementsOfOneLineGiveOneLineInAPipe) {
    EXPECT_EQ(Printed(false,
                      [](HistoryLog& log) {
                          log.AppendLine("a");
                          for (int i = 0; i < 100; ++i) {
                              log.ReplaceLastLine("b" + std::to_string(i));
                          }
                          log.AppendLine("c");
                      }),
              "b99\n");
}

// A diagnostic on a terminal clears the line being rewritten and draws it again after; in a
// pipe the history is untouched.
TEST(ConsoleHistoryList, ADiagnosticNeverLandsInsideTheOpenLine) {
    for (const bool terminal : {true, false}) {
        char* out = nullptr;
        char* err = nullptr;
        std::size_t outSize = 0;
        std::size_t errSize = 0;
        std::FILE* outFile = open_memstream(&out, &outSize);
        std::FILE* errFile = open_memstream(&err, &errSize);
        {
            ConsoleHistoryList list(outFile, terminal);
            HistoryLog log(list);
            log.RemoveFirstLine();
            log.AppendLine("Waiting for new signal...");
            std::fflush(outFile);
            const std::size_t before = outSize;
            list.PrintAside(errFile, "quorvel.receiver: hung up");
            std::fflush(outFile);
            const std::string e = "\r\033[K";
            EXPECT_EQ(std::string(out + before, outSize - before),
                      terminal ? e + "Waiting for new signal..." : "");
        }
        std::fclose(outFile);
        std::fclose(errFile);
        EXPECT_EQ(std::string(err, errSize), "quorvel.receiver: hung up\n");
        std::free(out);
        std::free(err);
    }
}

// "quorvel --console | head -2", or an output that cannot take the history (a full disk):
// the list says so once, with the reason.
TEST(ConsoleHistoryList, SaysOnceWhyItsOutputCannotBeWritten) {
    // Writes fail with EPIPE instead of ending the test program.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const struct {
        std::FILE* out;
        int error;
    } cases[] = {{::fdopen(ends[1], "w"), EPIPE}, {std::fopen("/dev/full", "w"), ENOSPC}};
    for (const auto& c : cases) {
        ASSERT_NE(c.out, nullptr);
        std::vector<int> lost;
        {
            ConsoleHistoryList list(c.out, false);
            list.OnOutputLost([&lost](int error) { lost.push_back(error); });
            list.InsertLine(0, "PLAY!");
            list.InsertLine(1, "Waiting for new signal...");
            list.Repaint();
            list.InsertLine(2, "42");
            list.Repaint();
        }
        std::fclose(c.out);
        EXPECT_EQ(lost, std::vector<int>{c.error});
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
}

}  // namespace
