#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "history/history_list.h"

// The history on standard output, for use without a window. On a terminal the last line
// is rewritten in place, as the window does; into a pipe or the journal each line is
// printed once, when it is final (when a later line has been appended after it).
// Only the last line is kept, so memory stays flat however long the program runs.
// Writes and PrintAside may come from different threads.
class ConsoleHistoryList : public HistoryList {
  public:
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
    // Writes text; a failure is noted, the first one's errno kept.
    void Put(const char* text);
    void NoteWriteError();
    // Flushes; calls lost_ the first time the output has failed.
    void FlushOutput();

    std::mutex mutex_;
    std::FILE* out_;
    bool terminal_;
    int count_;
    bool hasLast_ = false;  // the last line is one of ours and not yet final
    std::string last_;
    std::function<void(int)> lost_;
    bool lostReported_ = false;
    int writeError_ = 0;  // the errno of the first failed write
};
