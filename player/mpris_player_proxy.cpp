#include "player/mpris_player_proxy.h"

#include <cstdint>
#include <utility>

namespace {

constexpr const char* PlayerPath = "/org/mpris/MediaPlayer2";
constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char* Identity = "Identity";
constexpr const char* Volume = "Volume";
constexpr const char* Seek = "Seek";
constexpr const char* Raise = "Raise";

// One variant into value, none for a type the link keeps none of; false when the message
// holds no variant there.
bool ReadValue(sd_bus_message* message, MprisValue& value) {
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(message, &type, &contents) <= 0 || type != 'v' ||
        contents == nullptr) {
        return false;
    }
    const std::string inner(contents);
    if (inner != "s" && inner != "d" && inner != "i") {
        value = std::monostate{};
        return sd_bus_message_skip(message, "v") >= 0;
    }
    if (sd_bus_message_enter_container(message, 'v', contents) <= 0) {
        return false;
    }
    bool read = false;
    if (inner == "s") {
        const char* text = nullptr;
        read = sd_bus_message_read_basic(message, 's', &text) > 0;
        value = std::string(read ? text : "");
    } else if (inner == "d") {
        double number = 0;
        read = sd_bus_message_read_basic(message, 'd', &number) > 0;
        value = number;
    } else {
        std::int32_t number = 0;
        read = sd_bus_message_read_basic(message, 'i', &number) > 0;
        value = number;
    }
    return read && sd_bus_message_exit_container(message) >= 0;
}

bool ReadProperties(sd_bus_message* message, MprisProperties& properties) {
    if (sd_bus_message_enter_container(message, 'a', "{sv}") <= 0) {
        return false;
    }
    int entered = 0;
    while ((entered = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* name = nullptr;
        MprisValue value;
        if (sd_bus_message_read_basic(message, 's', &name) <= 0 || !ReadValue(message, value) ||
            sd_bus_message_exit_container(message) < 0) {
            return false;
        }
        properties[name] = std::move(value);
    }
    return entered == 0 && sd_bus_message_exit_container(message) >= 0;
}

}  // namespace

const char* MprisPlayerProxy::Member(PlayerAction action) {
    switch (action) {
        case PlayerAction::PlayPause:
            return "PlayPause";
        case PlayerAction::Previous:
            return "Previous";
        case PlayerAction::Next:
            return "Next";
        case PlayerAction::Play:
            return "Play";
        case PlayerAction::Pause:
            return "Pause";
        case PlayerAction::Stop:
            return "Stop";
        case PlayerAction::SeekForward:
        case PlayerAction::SeekBackward:
            return Seek;
        case PlayerAction::Raise:
            return Raise;
        default:
            return nullptr;
    }
}

bool MprisPlayerProxy::Send(const PlayerRequest& request, MprisBus::Done done) {
    const char* member = Member(request.action);
    if (member == nullptr) {
        return false;
    }
    if (member == Raise) {
        Call(RootInterface, Raise, std::move(done));
    } else if (member == Seek) {
        std::string error;
        sd_bus_message* call = bus_.NewCall(busName_, PlayerPath, PlayerInterface, Seek, error);
        // Seek's Offset is in microseconds, back when negative.
        const std::int64_t microseconds = std::int64_t{request.seconds} * 1'000'000;
        if (call != nullptr &&
            sd_bus_message_append(
                call, "x",
                request.action == PlayerAction::SeekForward ? microseconds : -microseconds) < 0) {
            call = sd_bus_message_unref(call);
        }
        bus_.Call(call, busName_,
                  [done = std::move(done)](sd_bus_message*, const std::string& e) { done(e); });
    } else {
        Call(PlayerInterface, member, std::move(done));
    }
    return true;
}

void MprisPlayerProxy::Call(const char* interface, const char* member, MprisBus::Done done) {
    std::string error;
    bus_.Call(bus_.NewCall(busName_, PlayerPath, interface, member, error), busName_,
              [done = std::move(done)](sd_bus_message*, const std::string& e) { done(e); });
}

void MprisPlayerProxy::ReadPlayer(MprisBus::Read done) {
    std::string error;
    sd_bus_message* call = bus_.NewCall(busName_, PlayerPath, PropertiesInterface, "GetAll", error);
    if (call != nullptr && sd_bus_message_append(call, "s", PlayerInterface) < 0) {
        call = sd_bus_message_unref(call);
    }
    bus_.Call(call, busName_,
              [name = busName_, &bus = bus_, done = std::move(done)](sd_bus_message* reply,
                                                                     const std::string& e) {
                  MprisProperties properties;
                  if (!e.empty()) {
                      done(e, properties, {});
                  } else if (!ReadProperties(reply, properties)) {
                      done("the answer was not a list of properties", {}, {});
                  } else {
                      // The reply itself, not only its values: its sender is the owner.
                      const char* sender = sd_bus_message_get_sender(reply);
                      bus.Owns(name, sender != nullptr ? sender : "");
                      done({}, properties, sender != nullptr ? sender : "");
                  }
              });
}

void MprisPlayerProxy::ReadIdentity(MprisBus::Read done) {
    Get(RootInterface, Identity, std::move(done));
}

void MprisPlayerProxy::ReadVolume(MprisBus::Read done) {
    Get(PlayerInterface, Volume, std::move(done));
}

void MprisPlayerProxy::Get(const char* interface, const char* property, MprisBus::Read done) {
    std::string error;
    sd_bus_message* call = bus_.NewCall(busName_, PlayerPath, PropertiesInterface, "Get", error);
    if (call != nullptr && sd_bus_message_append(call, "ss", interface, property) < 0) {
        call = sd_bus_message_unref(call);
    }
    bus_.Call(call, busName_,
              [property, done = std::move(done)](sd_bus_message* reply, const std::string& e) {
                  MprisValue value;
                  if (!e.empty()) {
                      done(e, {}, {});
                  } else if (!ReadValue(reply, value)) {
                      done("the answer was not a value", {}, {});
                  } else {
                      done({}, MprisProperties{{property, value}}, {});
                  }
              });
}

void MprisPlayerProxy::WriteVolume(double volume, MprisBus::Done done) {
    std::string error;
    sd_bus_message* call = bus_.NewCall(busName_, PlayerPath, PropertiesInterface, "Set", error);
    if (call != nullptr &&
        sd_bus_message_append(call, "ssv", PlayerInterface, Volume, "d", volume) < 0) {
        call = sd_bus_message_unref(call);
    }
    bus_.Call(call, busName_,
              [done = std::move(done)](sd_bus_message*, const std::string& e) { done(e); });
}

bool MprisPlayerProxy::ReadStrings(sd_bus_message* message, std::vector<std::string>& strings) {
    if (sd_bus_message_enter_container(message, 'a', "s") <= 0) {
        return false;
    }
    const char* text = nullptr;
    int read = 0;
    while ((read = sd_bus_message_read_basic(message, 's', &text)) > 0) {
        strings.emplace_back(text);
    }
    return read == 0 && sd_bus_message_exit_container(message) >= 0;
}

bool MprisPlayerProxy::ReadOwnerChange(sd_bus_message* message, std::string& name,
                                       std::string& oldOwner, std::string& newOwner) {
    const char* texts[3] = {};
    if (sd_bus_message_read(message, "sss", &texts[0], &texts[1], &texts[2]) <= 0) {
        return false;
    }
    name = texts[0];
    oldOwner = texts[1];
    newOwner = texts[2];
    return true;
}

bool MprisPlayerProxy::ReadChanges(sd_bus_message* message, MprisProperties& changed,
                                   std::vector<std::string>& invalidated) {
    const char* interface = nullptr;
    return sd_bus_message_read_basic(message, 's', &interface) > 0 &&
           ReadProperties(message, changed) && ReadStrings(message, invalidated);
}
