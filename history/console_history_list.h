#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "history/history_list.h"
#include "platform/console_output.h"

// The history on standard output, for use without a window. On a terminal the last line
// is rewritten in place, as the window does; into a pipe or the journal each line is
// printed once, when it is final (when a later line has been appended after it).
// Only the last line is kept, so memory stays flat however long the program runs.
// Nothing waits for the output's reader (ConsoleOutput): what the output cannot take now
// waits in a small buffer and goes with the next write; when the buffer is full (a pipe
// nobody reads, a terminal paused with Ctrl-S), history lines are dropped, never the
// program's keys, and once the reader has taken everything, how many were dropped is said in
// the lcHistory log. Writes and PrintAside may come from different threads.
class ConsoleHistoryList : public HistoryList {
  public:
    // The most bytes that wait for a reader away; past them, lines are dropped.
    static constexpr std::size_t MostWaiting = 64 * 1024;

    ConsoleHistoryList(std::FILE* out, bool terminal);
    ~ConsoleHistoryList() override;

    void DeleteLine(int index) override;
    void InsertLine(int index, const std::string& text) override;
    void Repaint() override;
    // A console has no greeting to remove.
    bool HoldsGreeting() const override { return false; }

    // Prints a diagnostic line on err without breaking the line being rewritten in place:
    // on a terminal that line is cleared first and drawn again after.
    void PrintAside(std::FILE* err, const std::string& text);

    // lost is called once, on the writing thread, with the errno of the failed write, when
    // the history can no longer be written: EPIPE for a pipe whose reader is gone (nobody
    // reads it any more), another for a full disk or a closed output. Set before writes.
    void OnOutputLost(std::function<void(int error)> lost) { lost_ = std::move(lost); }

  private:
    void Show(const std::string& text);
    // Queues text for the output and writes what it takes; a line's text, when line, is
    // dropped whole when it does not fit.
    void Put(const std::string& text, bool line = false);
    // Writes what waits, as far as the output takes it; calls lost_ the first time the
    // output has failed.
    void FlushOutput();
    // Says, outside the lock, how many lines were dropped, once the reader is back.
    void SayDropped();

    std::mutex mutex_;
    ConsoleOutput output_;
    std::string waiting_;          // what the output has not taken yet
    std::size_t dropped_ = 0;      // lines dropped since the reader went away
    std::size_t droppedSaid_ = 0;  // dropped lines to say, once the reader is back
    bool terminal_;
    int count_;
    bool hasLast_ = false;  // the last line is one of ours and not yet final
    std::string last_;
    std::function<void(int)> lost_;
    bool lostReported_ = false;
    int writeError_ = 0;  // the errno of the failed write
};
