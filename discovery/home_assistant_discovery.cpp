#include "discovery/home_assistant_discovery.h"

#include "discovery/discovery_log.h"
#include "log/untrusted_text.h"

HomeAssistantDiscovery::HomeAssistantDiscovery(MqttSource& broker,
                                               std::shared_ptr<const SharedKeyMap> keys,
                                               EventLoop& loop, Settings settings)
    : broker_(broker),
      keys_(std::move(keys)),
      loop_(loop),
      settings_(std::move(settings)),
      device_{settings_.prefix, settings_.name},
      announced_(settings_.kinds),
      random_(std::random_device{}()),
      bell_(MakeDoorbell()) {
    broker_.OnConnected([this] { Connected(); });
    broker_.Follow(
        device_.HomeAssistantStatusTopic(),
        [this](std::string_view payload, bool retained) { HomeAssistantSaid(payload, retained); });
}

HomeAssistantDiscovery::~HomeAssistantDiscovery() = default;

std::function<void()> HomeAssistantDiscovery::Reloaded() const {
    return [bell = bell_] { bell->Ring(); };
}

void HomeAssistantDiscovery::Join() {
    if (heard_) {
        return;
    }
    heard_ = bell_->Hear(loop_, [this] { TakeMap(true); });
    resend_ = loop_.MakeTimer([this] {
        QUORVEL_DEBUG(lcDiscovery) << "Home Assistant is online: every config again";
        AnnounceAll();
    });
}

void HomeAssistantDiscovery::Connected() {
    Join();
    TakeMap(false);
    for (const Trigger& trigger : uncleared_) {
        broker_.SendRetained(device_.TriggerTopic(trigger.gesture, trigger.key), {});
    }
    uncleared_.clear();
    AnnounceAll();
}

void HomeAssistantDiscovery::HomeAssistantSaid(std::string_view payload, bool retained) {
    Join();
    // A retained "online" is old news: every config went out as the source connected.
    if (retained || payload != "online" || resend_->IsSet()) {
        return;
    }
    std::uniform_int_distribution<long long> spread(0, settings_.spread.count());
    resend_->Set(EventLoop::Clock::now() + std::chrono::milliseconds(spread(random_)));
}

void HomeAssistantDiscovery::TakeMap(bool say) {
    const std::shared_ptr<const KeyMap> map = keys_->Current();
    if (map == map_) {
        return;
    }
    map_ = map;
    const AnnouncedKeys::Change change = announced_.Take(*map);
    const bool now = say && broker_.IsConnected();
    for (const Trigger& trigger : change.gone) {
        sources_.erase(trigger.key);
        if (now) {
            broker_.SendRetained(device_.TriggerTopic(trigger.gesture, trigger.key), {});
        } else {
            uncleared_.insert(trigger);
        }
    }
    for (const Trigger& trigger : change.came) {
        uncleared_.erase(trigger);
        if (now) {
            Announce(trigger);
        }
    }
    if (now && (!change.gone.empty() || !change.came.empty())) {
        QUORVEL_DEBUG(lcDiscovery) << "the key map was reloaded: " << change.gone.size()
                                   << " triggers cleared, " << change.came.size() << " added";
        AnnounceEntity();
    }
}

void HomeAssistantDiscovery::Passed(const KeyEvent& event, std::string_view kind) {
    Join();
    const std::string key = DiscoveryNames::KeyName(event.key);
    if (event.action == KeyAction::Press) {
        bool full = false;
        if (const auto trigger = announced_.Saw(key, full)) {
            QUORVEL_DEBUG(lcDiscovery) << "a new key: " << UntrustedText(key);
            Announce(*trigger);
            AnnounceEntity();
        } else if (full && !saidFull_) {
            saidFull_ = true;
            QUORVEL_INFO(lcDiscovery) << AnnouncedKeys::MostSeen
                                      << " keys were seen that no map binds: the keys seen "
                                         "after them are not announced to Home Assistant";
        }
    }
    if (announced_.Has({key, KeyReader::Gesture::Press})) {
        sources_[key] = kind;
    }
}

void HomeAssistantDiscovery::Decided(KeyReader::Gesture gesture, const Key& key) {
    Join();
    const std::string name = DiscoveryNames::KeyName(key);
    const auto source = sources_.find(name);
    if (announced_.Has({name, gesture}) && source != sources_.end()) {
        broker_.Send(device_.EventTopic(), DiscoveryDevice::Event(gesture, name, source->second));
    }
}

void HomeAssistantDiscovery::Announce(const Trigger& trigger) {
    broker_.SendRetained(device_.TriggerTopic(trigger.gesture, trigger.key),
                         device_.TriggerConfig(trigger.gesture, trigger.key));
}

void HomeAssistantDiscovery::AnnounceEntity() {
    broker_.SendRetained(device_.EntityTopic(), device_.EntityConfig(announced_.EventTypes()));
}

void HomeAssistantDiscovery::AnnounceAll() {
    for (const Trigger& trigger : announced_.All()) {
        Announce(trigger);
    }
    AnnounceEntity();
}
