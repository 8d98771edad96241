#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/announced_keys.h"
#include "discovery/discovery_device.h"
#include "keymap/shared_key_map.h"
#include "mqtt/mqtt_source.h"
#include "platform/doorbell.h"
#include "platform/event_loop.h"
#include "source/receiver_loop.h"

// Home Assistant's MQTT discovery (--mqtt-discovery), on the broker's connection: a device
// trigger for each key and gesture AnnouncedKeys names and one event entity for the machine
// (DiscoveryDevice), retained at QoS 1; and each gesture the cycle decides, of a key and
// gesture announced, published once to quorvel/NAME/event (QoS 0, not retained). The configs
// go out at each connect; again a random 0 to spread after Home Assistant says it is online
// (a live "online" on PREFIX/status: a restarted Home Assistant forgets what is not
// retained, and many devices answering at once would swamp it); a key's at its first press,
// with the event entity's grown list; and at a reload of the map, when the triggers it no
// longer makes are cleared (an empty retained message; while the broker is away, at the
// next connect). Everything runs on the receiver loop's thread, but for Reloaded.
class HomeAssistantDiscovery : public ReceiverLoop::Follower {
  public:
    struct Settings {
        std::string prefix = "homeassistant";  // the discovery prefix
        std::string name;                      // the machine's, in quorvel/NAME/...
        std::vector<std::string> kinds;        // KeySource::Kind of each source in use
        std::chrono::milliseconds spread{3000};
    };

    // Follows broker (before it opens); keys is the map in force; loop is the receiver's.
    HomeAssistantDiscovery(MqttSource& broker, std::shared_ptr<const SharedKeyMap> keys,
                           EventLoop& loop, Settings settings);
    ~HomeAssistantDiscovery() override;
    HomeAssistantDiscovery(const HomeAssistantDiscovery&) = delete;
    HomeAssistantDiscovery& operator=(const HomeAssistantDiscovery&) = delete;

    // To be called, from any thread, whenever keys' map is replaced; it may outlive this.
    std::function<void()> Reloaded() const;
    // ReceiverLoop::Follower: the cycle passed event on, from a source of kind; it decided
    // key's gesture.
    void Passed(const KeyEvent& event, std::string_view kind) override;
    void Decided(KeyReader::Gesture gesture, const Key& key) override;

  private:
    using Trigger = AnnouncedKeys::Trigger;

    // On the loop's thread, at its first business there: hears the reloads, makes the timer.
    void Join();
    void Connected();
    void HomeAssistantSaid(std::string_view payload, bool retained);
    // The map in force, when it changed; with say, its changes go out at once.
    void TakeMap(bool say);
    void Announce(const Trigger& trigger);
    void AnnounceEntity();
    void AnnounceAll();

    MqttSource& broker_;
    const std::shared_ptr<const SharedKeyMap> keys_;
    EventLoop& loop_;
    Settings settings_;
    DiscoveryDevice device_;
    AnnouncedKeys announced_;
    std::shared_ptr<const KeyMap> map_;           // the map announced last
    AnnouncedKeys::Triggers uncleared_;           // gone while the broker was away
    std::map<std::string, std::string> sources_;  // each announced key's last source's kind
    bool saidFull_ = false;
    std::mt19937 random_;
    const std::shared_ptr<Doorbell> bell_;
    std::unique_ptr<EventLoop::Watch> heard_;  // after bell_: it goes first
    std::unique_ptr<EventLoop::Timer> resend_;
};
