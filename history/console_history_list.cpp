#include "history/console_history_list.h"

#include <cerrno>
#include <utility>

#include "history/history_category.h"

namespace {
// Back to the start of the line and clear it.
constexpr const char* EraseLine = "\r\033[K";
}  // namespace

ConsoleHistoryList::ConsoleHistoryList(std::FILE* out, bool terminal)
    : output_(out), terminal_(terminal), count_(0) {}

ConsoleHistoryList::~ConsoleHistoryList() {
    std::lock_guard lock(mutex_);
    // Leave the shell prompt on a line of its own; a pipe gets only final lines. One try:
    // an output nobody reads never holds up the end.
    if (terminal_ && hasLast_) {
        waiting_ += '\n';
    }
    FlushOutput();
}

void ConsoleHistoryList::DeleteLine(int index) {
    {
        std::lock_guard lock(mutex_);
        if (index < 0 || index >= count_) {
            return;
        }
        --count_;
        // Only the last line is ever rewritten; earlier lines are already printed for good.
        if (index == count_ && hasLast_) {
            hasLast_ = false;
            last_.clear();
            if (terminal_) {
                Put(EraseLine);
            }
        }
    }
    SayDropped();
}

void ConsoleHistoryList::InsertLine(int index, const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        if (index != count_) {
            return;  // the receiver only ever appends
        }
        if (hasLast_) {
            // The line before becomes final.
            Put(terminal_ ? std::string("\n") : last_ + '\n', !terminal_);
        }
        ++count_;
        Show(text);
    }
    SayDropped();
}

void ConsoleHistoryList::Show(const std::string& text) {
    hasLast_ = true;
    last_ = text;
    if (terminal_) {
        Put(EraseLine + text, true);
    }
}

void ConsoleHistoryList::Repaint() {
    {
        std::lock_guard lock(mutex_);
        FlushOutput();
    }
    SayDropped();
}

void ConsoleHistoryList::Put(const std::string& text, bool line) {
    FlushOutput();
    if (waiting_.size() + text.size() > MostWaiting) {
        // Nobody reads: the line goes, and the keys go on.
        dropped_ += line ? 1 : 0;
        return;
    }
    waiting_ += text;
    FlushOutput();
}

void ConsoleHistoryList::FlushOutput() {
    if (writeError_ != 0) {
        waiting_.clear();
    }
    while (!waiting_.empty() && writeError_ == 0) {
        int error = 0;
        const std::ptrdiff_t taken = output_.Write(waiting_, error);
        if (taken < 0) {
            writeError_ = error;
            waiting_.clear();
        } else if (taken == 0) {
            return;  // the reader is away: the rest waits
        } else {
            waiting_.erase(0, static_cast<std::size_t>(taken));
        }
    }
    if (waiting_.empty() && dropped_ > 0) {
        droppedSaid_ += dropped_;
        dropped_ = 0;
    }
    if (!lostReported_ && writeError_ != 0 && lost_) {
        lostReported_ = true;
        lost_(writeError_);
    }
}

void ConsoleHistoryList::SayDropped() {
    std::size_t said = 0;
    {
        std::lock_guard lock(mutex_);
        said = std::exchange(droppedSaid_, 0);
    }
    if (said > 0) {
        QUORVEL_WARNING(lcHistory) << said << " history line" << (said == 1 ? " was" : "s were")
                                   << " dropped while nothing read standard output";
    }
}

void ConsoleHistoryList::PrintAside(std::FILE* err, const std::string& text) {
    std::lock_guard lock(mutex_);
    const bool redraw = terminal_ && hasLast_;
    if (redraw) {
        Put(EraseLine);
    }
    std::fputs(text.c_str(), err);
    std::fputc('\n', err);
    std::fflush(err);
    if (redraw) {
        Put(last_);
    }
}
