#include "tests/player/stand_in_notifications.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <map>

#include "tests/player/private_bus.h"

StandInNotifications::StandInNotifications(const PrivateBus& bus)
    : connection_(sdbus::createSessionBusConnectionWithAddress(bus.Address())) {
    object_ = sdbus::createObject(*connection_, "/org/freedesktop/Notifications");
    object_->registerMethod("Notify")
        .onInterface("org.freedesktop.Notifications")
        .implementedAs([this](const std::string&, std::uint32_t replacesId, const std::string&,
                              const std::string& summary, const std::string& body,
                              const std::vector<std::string>&,
                              const std::map<std::string, sdbus::Variant>&, std::int32_t) {
            const std::lock_guard<std::mutex> lock(mutex_);
            const std::uint32_t id = replacesId != 0 ? replacesId : ++lastId_;
            calls_.push_back({replacesId, summary, body, id});
            arrived_.notify_all();
            if (failing_ > 0) {
                --failing_;
                throw sdbus::Error("org.freedesktop.DBus.Error.NoReply", "too slow");
            }
            return id;
        });
    object_->finishRegistration();
    connection_->requestName("org.freedesktop.Notifications");
    connection_->enterEventLoopAsync();
}

StandInNotifications::~StandInNotifications() {
    connection_->leaveEventLoop();
}

void StandInNotifications::FailNext(std::size_t count) {
    const std::lock_guard<std::mutex> lock(mutex_);
    failing_ = count;
}

std::vector<StandInNotification> StandInNotifications::WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return calls_.size() >= count; });
    return calls_;
}
