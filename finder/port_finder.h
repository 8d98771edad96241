#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/serial_device.h"
#include "source/key_source.h"
#include "source/receiver_loop.h"

// Finds the receiver's port by listening on several ports at once, each set up as the
// receiver's own line, and on any other key sources beside them, on one receiver loop, until
// a key press arrives on one. Noise on a port can hold a press by chance (PressTally). A port
// held by another program (its exclusive open, its lock, a lock file) is never taken from it.
class PortFinder {
  public:
    // How long a search waits for a key.
    static constexpr std::chrono::seconds KeyLimit{30};
    using DeviceMaker = std::function<std::unique_ptr<SerialDevice>()>;

    explicit PortFinder(DeviceMaker makeDevice = MakeSerialDevice);
    ~PortFinder();
    PortFinder(const PortFinder&) = delete;
    PortFinder& operator=(const PortFinder&) = delete;

    // Opens and sets up each candidate, and starts listening. Those that cannot be used are
    // said in Problems, one line each that names the port. The names of those listened on.
    std::vector<std::string> Listen(const std::vector<std::string>& candidates);
    // Opens and sets up source, named name, and starts listening on it; false, with why
    // said in Problems, when it cannot be used.
    bool ListenTo(const std::string& name, std::unique_ptr<KeySource> source);
    const std::vector<std::string>& Problems() const { return problems_; }

    // The candidate found, or empty when limit passed first or every port was lost.
    // Listening ends and the ports are closed either way. When a press came but more than
    // one port has sent something, askAgain is called (once) so the user presses again, and
    // limit starts anew. While it waits, tick is told the time left at each second.
    std::string Await(std::chrono::milliseconds limit,
                      const std::function<void()>& askAgain = nullptr,
                      const std::function<void(std::chrono::seconds left)>& tick = nullptr);

  private:
    DeviceMaker makeDevice_;
    std::vector<std::string> problems_;
    std::unique_ptr<ReceiverLoop> loop_;
    std::vector<std::string> names_;  // by the loop's index of each source
};
