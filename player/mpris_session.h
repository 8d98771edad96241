#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "player/mpris_bus.h"

// Joining and losing the D-Bus session bus for the player link, on the receiver's loop: the
// bus DBUS_SESSION_BUS_ADDRESS names; when it is not set, as sd-bus does, the socket
// $XDG_RUNTIME_DIR/bus when it exists. No bus is ever launched, and joining never waits
// (MprisBus::Open). Without a bus, or when it is lost, that is said once in the lcPlayer log,
// and the bus is joined again at the next Join; losing it never ends the program. Used on
// the loop's thread.
class MprisSession {
  public:
    // Each bus joined gets hooks (but for lost, which the session keeps); joined is told of
    // it, and of none (null) when it is lost.
    MprisSession(MprisBus::Hooks hooks, std::function<void(MprisBus*)> joined);
    ~MprisSession();
    MprisSession(const MprisSession&) = delete;
    MprisSession& operator=(const MprisSession&) = delete;

    // The loop the bus joins; starts joining at once, so the first press finds it joined.
    void Attach(EventLoop& loop);
    // The bus, joined if need be; null when there is none.
    MprisBus* Join();

  private:
    void Lost(const std::string& why);

    MprisBus::Hooks hooks_;
    std::function<void(MprisBus*)> joined_;
    EventLoop* loop_ = nullptr;
    bool noBusReported_ = false;
    std::unique_ptr<MprisBus> bus_;  // null when not joined
    // A bus lost in one of its own callbacks, dropped at the loop's next turn.
    std::unique_ptr<MprisBus> lost_;
    std::unique_ptr<EventLoop::Timer> drop_;
};
