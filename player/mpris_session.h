#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "player/mpris_bus.h"
#include "player/session_bus_connector.h"

// Joining and losing the D-Bus session bus for the player link: the bus
// DBUS_SESSION_BUS_ADDRESS names; when it is not set, as sd-bus does, the socket
// $XDG_RUNTIME_DIR/bus when it exists. No bus is ever launched. Joining starts when the
// session is made and goes on in the background (SessionBusConnector), so a bus that never
// answers holds up nobody. Without a bus, or when it is lost, that is said once in the
// lcPlayer log, and the bus is joined again at the next Join; losing it never ends the
// program. Used with the lock held.
class MprisSession {
  public:
    using Deadline = MprisBus::Deadline;

    // Each bus joined gets hooks and waits at most callTimeout for its watches; joined is
    // told of it, and of none (null) when it is lost. An interruption of lock ends a wait
    // for the join.
    MprisSession(std::chrono::milliseconds callTimeout, MprisBus::Hooks hooks,
                 std::function<void(MprisBus*)> joined, MprisBusLock& lock);
    // Without the lock held.
    ~MprisSession();
    MprisSession(const MprisSession&) = delete;
    MprisSession& operator=(const MprisSession&) = delete;

    // The bus, joined if need be, waiting for the join until joinDeadline; null when there
    // is none. What came since the last call is taken in first, so a lost bus is seen, and
    // joined again, before a command is spent on it.
    MprisBus* Join(std::unique_lock<std::mutex>& lock, Deadline joinDeadline);
    // Drops the bus, saying why once; releases lock meanwhile.
    void Lose(std::unique_lock<std::mutex>& lock, const std::string& why);

  private:
    std::chrono::milliseconds callTimeout_;
    MprisBus::Hooks hooks_;
    std::function<void(MprisBus*)> joined_;
    MprisBusLock& lock_;
    bool noBusReported_ = false;
    SessionBusConnector connector_;
    std::unique_ptr<sdbus::IConnection> connection_;  // joined at once, not yet driven
    std::unique_ptr<MprisBus> bus_;                   // null when not joined
};
