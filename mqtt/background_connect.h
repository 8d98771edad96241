#pragma once

#include <functional>
#include <memory>
#include <string>

#include "mqtt/mqtt_client.h"
#include "platform/event_loop.h"

// A client connected to a host name, whose lookup blocks (libmosquitto's getaddrinfo), off
// the loop: a thread made for the one attempt owns the client until it hands it back through
// an eventfd the loop watches. The client has no Events meanwhile, so the thread reaches
// nothing of its owner and logs nothing. Destroying this before the hand-over abandons the
// attempt: the thread, detached so that a lookup that hangs never holds up a stop, then
// destroys the client itself. Used on the loop's thread. On Windows
// (win32_background_connect.cpp) no thread: GetAddrInfoExW's event is watched on the loop,
// and the client connected to the address found.
class BackgroundConnect {
  public:
    using Done = std::function<void(std::unique_ptr<MqttClient> client, int result, int error)>;

    BackgroundConnect(std::unique_ptr<MqttClient> client, const std::string& host, int port);
    ~BackgroundConnect();
    BackgroundConnect(const BackgroundConnect&) = delete;
    BackgroundConnect& operator=(const BackgroundConnect&) = delete;

    // done runs on loop once the connection was started, or failed to; watched on the loop
    // given last.
    void Watch(EventLoop& loop, Done done);

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<EventLoop::Watch> watch_;
};
