#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sdbus {
class IConnection;
class IObject;
}  // namespace sdbus

class PrivateBus;

// One Notify call as the server received it.
struct StandInNotification {
    std::uint32_t replacesId = 0;
    std::string summary;
    std::string body;
    std::uint32_t id = 0;  // the id it answered: replacesId, or a new one when 0
};

// A stand-in desktop notification server (org.freedesktop.Notifications) on a private bus,
// in this process on a connection and thread of its own. It records every Notify and
// answers at once: with an error, as a server that timed out would, for those FailNext asks.
class StandInNotifications {
  public:
    explicit StandInNotifications(const PrivateBus& bus);
    ~StandInNotifications();
    StandInNotifications(const StandInNotifications&) = delete;
    StandInNotifications& operator=(const StandInNotifications&) = delete;

    // Waits until at least count calls came or a generous deadline passed, then returns
    // every call so far.
    std::vector<StandInNotification> WaitFor(std::size_t count);
    void FailNext(std::size_t count);

  private:
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IObject> object_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<StandInNotification> calls_;
    std::uint32_t lastId_ = 0;
    std::size_t failing_ = 0;
};
