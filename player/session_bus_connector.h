#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace sdbus {
class IConnection;
}

// Joins the D-Bus session bus as sd-bus finds it (DBUS_SESSION_BUS_ADDRESS, else
// $XDG_RUNTIME_DIR/bus) without holding anybody up. sd-bus's handshake waits for the bus
// daemon for up to 90 s and cannot be cut short, so a bus that accepts connections and never
// answers would hold up whoever joins it, and whoever ends that join. So the connector first
// asks the daemon itself, on a socket of its own that nobody waits on (the start of the
// authentication, for a bus on a unix socket): only once the daemon has said anything does
// sd-bus join, on a thread the connector owns and joins, which then ends within sd-bus's own
// bounds of a daemon that answers. Between calls the question waits in the socket, so
// joining goes on in the background while nobody waits for it; after a failed attempt, the
// next Take starts another. Used from one thread.
class SessionBusConnector {
  public:
    using Deadline = std::chrono::steady_clock::time_point;

    SessionBusConnector();
    // Joins the attempt's thread, if any.
    ~SessionBusConnector();
    SessionBusConnector(const SessionBusConnector&) = delete;
    SessionBusConnector& operator=(const SessionBusConnector&) = delete;

    // Asks the daemon, or starts an attempt, when neither runs, then waits for them until
    // deadline, or until interruptFd (when not -1) is readable. Returns the connection an
    // attempt made, or null with why set: the attempt's error, or that the bus has not
    // answered yet.
    std::unique_ptr<sdbus::IConnection> Take(Deadline deadline, int interruptFd, std::string& why);

    // Whether the session bus completes a handshake within limit: asked before a toolkit
    // that would wait on it unbounded is started.
    static bool Answers(std::chrono::milliseconds limit);

  private:
    struct Attempt;

    // Whether the daemon has answered the question (or there is none to ask), waiting
    // until deadline or interruptFd.
    bool Asked(Deadline deadline, int interruptFd);

    int question_ = -1;                 // the socket the question waits on; -1: none
    std::unique_ptr<Attempt> attempt_;  // the one running or just ended; null when none
};
