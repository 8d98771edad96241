#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>

// A stream (standard output) written without ever waiting for its reader: a pipe nobody
// reads, or a terminal paused with Ctrl-S, takes what fits and no more. On Linux a pipe or a
// terminal is opened afresh, non-blocking, through /proc/self/fd (so the shell's own
// descriptor keeps its mode), a socket (the journal) is sent to without waiting, and a file
// is written as it is. On Windows a pipe is put in no-wait mode; a console is written as it
// is. A stream with no descriptor (a test's memory stream) takes everything.
class ConsoleOutput {
  public:
    explicit ConsoleOutput(std::FILE* out);
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Writes what the output takes of text now: the bytes taken (0: none fit), or -1 with
    // error set when the output failed (EPIPE: its reader is gone).
    std::ptrdiff_t Write(std::string_view text, int& error);

  private:
    std::FILE* out_;
    int fd_ = -1;          // the descriptor written, -1 for the stream itself
    bool owned_ = false;   // fd_ was opened here
    bool socket_ = false;  // sent to without waiting
#ifdef _WIN32
    void* handle_ = nullptr;  // a pipe in no-wait mode
    bool crlf_ = false;       // the stream turns each newline into CR LF
#endif
};
