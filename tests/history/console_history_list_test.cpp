#include "history/console_history_list.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "history/history_log.h"
#include "tests/doubles/log_capture.h"

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

// Output nobody reads (a pipe whose reader is away): no write waits, history lines are
// dropped rather than the keys held up, and once the reader has taken everything, how many
// were dropped is said once; the history goes on from there.
TEST(ConsoleHistoryList, APipeNobodyReadsDropsLinesNeverWaits) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::FILE* out = ::fdopen(ends[1], "w");
    ASSERT_NE(out, nullptr);
    LogCapture log;
    {
        ConsoleHistoryList list(out, false);
        HistoryLog history(list);
        // Far more than the pipe and the list's buffer hold together; a wait would hang here.
        constexpr int Lines = 20'000;
        for (int i = 0; i < Lines; ++i) {
            history.AppendLine("line " + std::to_string(i) + std::string(40, '.'));
        }
        EXPECT_EQ(log.Count("dropped"), 0);  // not while the reader is away

        // The reader comes back: what waited goes, then the drop is said, once.
        std::string read;
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        const auto drain = [&] {
            char buffer[65536];
            for (ssize_t got = 0; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
                read.append(buffer, static_cast<std::size_t>(got));
            }
        };
        for (int round = 0; round < 100 && log.Count("dropped") == 0; ++round) {
            drain();
            list.Repaint();
        }
        drain();
        const std::vector<std::string> said = log.Messages("quorvel.history");
        ASSERT_EQ(said.size(), 1u);
        const std::size_t dropped = std::stoul(said[0]);
        // Whole lines only, from the first; the open line is not final.
        std::size_t shown = 0;
        for (std::size_t at = 0; at < read.size(); ++shown) {
            const std::size_t end = read.find('\n', at);
            ASSERT_NE(end, std::string::npos) << "a line cut short";
            at = end + 1;
        }
        EXPECT_GT(dropped, 0u);
        EXPECT_EQ(shown + dropped, static_cast<std::size_t>(Lines - 1));
        EXPECT_EQ(read.rfind("line 0.", 0), 0u);
    }
    std::fclose(out);
    ::close(ends[0]);
}

}  // namespace
