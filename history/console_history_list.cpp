#include "history/console_history_list.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
// Back to the start of the line and clear it.
constexpr const char* EraseLine = "\r\033[K";
}  // namespace

ConsoleHistoryList::ConsoleHistoryList(std::FILE* out, bool terminal)
    : out_(out), terminal_(terminal), count_(0) {}

ConsoleHistoryList::~ConsoleHistoryList() {
    // Leave the shell prompt on a line of its own; a pipe gets only final lines.
    if (terminal_ && hasLast_) {
        std::fputc('\n', out_);
    }
    std::fflush(out_);
}

void ConsoleHistoryList::DeleteLine(int index) {
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

void ConsoleHistoryList::InsertLine(int index, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (index != count_) {
        return;  // the receiver only ever appends
    }
    if (hasLast_) {
        // The line before becomes final.
        if (!terminal_) {
            Put(last_.c_str());
        }
        Put("\n");
    }
    ++count_;
    Show(text);
}

void ConsoleHistoryList::Show(const std::string& text) {
    hasLast_ = true;
    last_ = text;
    if (terminal_) {
        Put(EraseLine);
        Put(text.c_str());
    }
}

void ConsoleHistoryList::Repaint() {
    std::lock_guard lock(mutex_);
    FlushOutput();
}

void ConsoleHistoryList::Put(const char* text) {
    errno = 0;
    if (std::fputs(text, out_) < 0) {
        NoteWriteError();
    }
}

void ConsoleHistoryList::NoteWriteError() {
    if (writeError_ != 0) {
        return;
    }
    writeError_ = errno != 0 ? errno : EIO;
#ifdef _WIN32
    // The C runtime says EINVAL of a pipe whose reader is gone; the system says which.
    if (const DWORD why = GetLastError();
        writeError_ == EINVAL && (why == ERROR_NO_DATA || why == ERROR_BROKEN_PIPE)) {
        writeError_ = EPIPE;
    }
#endif
}

void ConsoleHistoryList::FlushOutput() {
    errno = 0;
    if (std::fflush(out_) != 0) {
        NoteWriteError();
    }
    if (!lostReported_ && (writeError_ != 0 || std::ferror(out_)) && lost_) {
        lostReported_ = true;
        lost_(writeError_ != 0 ? writeError_ : EIO);
    }
}

void ConsoleHistoryList::PrintAside(std::FILE* err, const std::string& text) {
    std::lock_guard lock(mutex_);
    const bool redraw = terminal_ && hasLast_;
    if (redraw) {
        std::fputs(EraseLine, out_);
        std::fflush(out_);
    }
    std::fputs(text.c_str(), err);
    std::fputc('\n', err);
    std::fflush(err);
    if (redraw) {
        std::fputs(last_.c_str(), out_);
        std::fflush(out_);
    }
}
