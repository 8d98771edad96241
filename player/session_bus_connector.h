#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace sdbus {
class IConnection;
}

// Joins the D-Bus session bus as sd-bus finds it (DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus) on a thread of its own. sd-bus's handshake waits for the bus daemon
// for up to 90 s, so a bus that accepts connections and never answers would otherwise hold
// up whoever joins it: here it holds up nobody. One attempt runs at a time, and goes on
// in the background while nobody waits for it; after a failed one, the next Take starts
// another. An attempt still running when the connector goes is left to finish alone, and
// its connection dropped. Used from one thread.
class SessionBusConnector {
  public:
    using Deadline = std::chrono::steady_clock::time_point;

    SessionBusConnector();
    ~SessionBusConnector();
    SessionBusConnector(const SessionBusConnector&) = delete;
    SessionBusConnector& operator=(const SessionBusConnector&) = delete;

    // Starts an attempt when none runs, then waits for the one
    // running until deadline, or until interruptFd (when not -1) is readable. Returns the
    // connection an attempt made, or null with why set: the attempt's error, or that the
    // bus has not answered yet.
    std::unique_ptr<sdbus::IConnection> Take(Deadline deadline, int interruptFd, std::string& why);

    // Whether the session bus completes a handshake within limit: asked before a toolkit
    // that would wait on it unbounded is started.
    static bool Answers(std::chrono::milliseconds limit);

  private:
    struct Attempt;

    std::shared_ptr<Attempt> attempt_;  // the one running or just ended; null when none
};
