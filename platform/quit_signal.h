#pragma once

#include <functional>
#include <memory>

// The user's request to end the program, made the platform's way: SIGINT, SIGTERM and
// SIGHUP (the terminal closed) on Linux; Ctrl-C, Ctrl-Break, the console closing, log-off
// and shutdown on Windows. With onReload, SIGHUP asks for a reload instead (as daemons
// take it: systemctl reload), except when the terminal the program was started on has
// hung up, which still quits. While a QuitSignal exists these no longer end the process at
// once: they wake Wait and call onQuit, so the program can stop and join its receiver.
// A second request while the first one's shutdown runs ends the process at once (Linux);
// on Windows, where the system ends the process once its handler returns for a closing
// console, log-off or shutdown, the handler waits (a few seconds at most) until the
// QuitSignal is destroyed. One at a time.
class QuitSignal {
  public:
    // onQuit, when given, runs once per request on a thread of the signal's own (Linux) or
    // the system's handler thread (Windows): it must only hand the request on (post a
    // message, queue a call).
    // onReload, when given, runs once per SIGHUP (Linux; never on Windows) on the thread
    // onQuit runs on, or else within Wait; it may take its time, as no signal is lost
    // meanwhile.
    explicit QuitSignal(std::function<void()> onQuit = {}, std::function<void()> onReload = {});
    ~QuitSignal();
    QuitSignal(const QuitSignal&) = delete;
    QuitSignal& operator=(const QuitSignal&) = delete;

    // Called first thing in the program: a SIGHUP (systemctl reload) that comes before
    // a QuitSignal exists waits, and is taken as one then, instead of ending the program.
    // ReleaseHangups gives SIGHUP its usual effect back, for a program that makes none.
    // Nothing on Windows.
    static void HoldHangups();
    static void ReleaseHangups();

    // Blocks until the user asks to quit, or Raise is called; calls onReload meanwhile when
    // there is no onQuit.
    void Wait();
    // Safe from any thread: as if the user had asked.
    void Raise();
#ifndef _WIN32
    // For a program that waits in a loop of its own instead of Wait (the window's, with no
    // onQuit): readable when a request came; -1 without one. Take then reloads for a SIGHUP
    // and says whether to quit, without waiting.
    int ReadyHandle() const;
    bool Take();
#endif

    struct State;  // the platform's

  private:
    std::unique_ptr<State> state_;
};

// Standard output is a terminal that understands line rewriting (on Windows, a console
// with its escape sequences turned on here).
bool StandardOutputIsTerminal();

// Standard input is a terminal (a console on Windows): someone there can answer a question.
bool StandardInputIsTerminal();
