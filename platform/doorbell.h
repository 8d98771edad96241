#pragma once

#include <functional>
#include <memory>

#include "platform/event_loop.h"

// A bell any thread may ring, heard on one loop's thread: what another thread learnt (a key
// map reloaded) reaches the loop without a lock held across it. Rings that come before the
// bell is heard are one ring. An eventfd on Linux (eventfd_doorbell.cpp), a manual-reset
// event on Windows (win32_doorbell.cpp).
class Doorbell {
  public:
    virtual ~Doorbell() = default;

    // Safe from any thread, also while no loop hears it (it is heard once one does).
    virtual void Ring() = 0;
    // heard runs on loop's thread after a ring, until the watch goes (before the bell). One
    // loop hears it at a time.
    virtual std::unique_ptr<EventLoop::Watch> Hear(EventLoop& loop,
                                                   std::function<void()> heard) = 0;
};

// The platform's; throws std::system_error when it cannot be made.
std::shared_ptr<Doorbell> MakeDoorbell();
