#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// One line a child printed, and when it was read (CLOCK_MONOTONIC, ns).
struct ChildLine {
    std::string text;
    std::int64_t atNs = 0;
};

// A program run as a child that dies with the thread that started it (PR_SET_PDEATHSIG), so
// a crashed test or bench leaves nothing behind. Its standard output, when captured, is read
// line by line as it comes, on a thread of its own, so a chatty child never blocks on a
// full pipe. Used from one thread.
class ChildProcess {
  public:
    struct Options {
        std::vector<std::string> argv;  // argv[0] is looked up on PATH
        // Set over this process's environment; nullopt unsets the variable.
        std::map<std::string, std::optional<std::string>> environment;
        bool captureOutput = false;  // otherwise standard output goes to /dev/null
        std::string errorPath;       // standard error appended there; empty: this process's
    };

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False, with Error() saying why, when the program could not be started. Once the
    // child has ended it may be started again, its lines starting afresh.
    bool Start(const Options& options);
    const std::string& Error() const { return error_; }
    pid_t Pid() const { return pid_; }
    bool Running() const { return pid_ > 0; }

    void Signal(int signal) const;
    // Sends signal, then waits for the child to end; returns its wait status.
    int Stop(int signal);
    // The same, but a child still there after grace is killed (SIGKILL): a server that
    // hangs on its way out must not hang the test.
    int Stop(int signal, std::chrono::milliseconds grace);
    int Wait();

    // The lines from index from on, taking in what is already in the pipe, so a line the
    // child printed before it answered a call is there once the call has returned.
    std::vector<ChildLine> Lines(std::size_t from = 0);
    // Waits until at least count lines have come, the output has ended or timeout has
    // passed; returns how many lines there are.
    std::size_t WaitForLines(std::size_t count, std::chrono::milliseconds timeout);

  private:
    void Close();
    void ReadLoop();
    bool ReadAvailable();  // with mutex_ held; false once the output has ended

    pid_t pid_ = -1;
    int status_ = 0;
    int output_ = -1;
    std::string error_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string partial_;
    std::vector<ChildLine> lines_;
    bool ended_ = false;
    std::thread reader_;
};
