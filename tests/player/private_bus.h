#pragma once

#include <memory>
#include <string>

#include "tests/doubles/scratch_folder.h"
#include "tests/player/child_process.h"

namespace sdbus {
class IConnection;
}

// A dbus-daemon of the test's own, with a minimal configuration (no activatable services),
// listening on a socket named "bus" in a fresh folder, as a session bus does in
// $XDG_RUNTIME_DIR; and this process's connection to it. Stopped on destruction. Nothing
// here touches the user's session bus.
class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False when the daemon did not start; Error() says why.
    bool Started() const { return connection_ != nullptr; }
    const std::string& Error() const { return error_; }
    // The same for every start of the daemon: it listens on one socket path, and the
    // address names no daemon instance (no guid).
    const std::string& Address() const { return address_; }
    // The folder holding the socket: what XDG_RUNTIME_DIR would be for this bus.
    const std::string& Folder() const { return folder_.Path(); }

    // Kills the daemon (SIGKILL), as a crashed bus, and waits until it has ended: every
    // client loses its connection. This process's own is closed first.
    void Stop();
    // Starts it (again) at the same address and connects to it; returns Started().
    bool Start();

    // Polls until the name is owned (or not), or a generous deadline has passed.
    bool WaitForOwner(const std::string& name, bool owned) const;
    // Pings the name's owner and waits for its answer, within a generous deadline. Messages
    // reach a client in the order they were sent, so once it has answered, it has dealt
    // with everything sent to it before.
    bool WaitForAnswer(const std::string& name) const;
    // Calls a method without arguments on the MPRIS player under name, as its own window
    // would, and waits for its answer within a generous deadline.
    bool CallPlayer(const std::string& name, const std::string& method) const;

  private:
    ScratchFolder folder_;
    std::string configPath_;
    ChildProcess daemon_;
    std::string address_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::string error_;
};
