#include "player/mpris_bus.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "player/mpris_player_choice.h"
#include "player/mpris_player_proxy.h"

namespace {

constexpr const char* DaemonName = "org.freedesktop.DBus";
constexpr const char* DaemonPath = "/org/freedesktop/DBus";
constexpr const char* LocalInterface = "org.freedesktop.DBus.Local";
// sd-bus's way to say a call has no time-out of its own.
constexpr std::uint64_t NoTimeout = std::numeric_limits<std::uint64_t>::max();

// Only MPRIS names: the daemon filters on the first argument, so the rest of the bus's
// comings and goings never wake us.
constexpr const char* NameWatch =
    "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
    "member='NameOwnerChanged',arg0namespace='org.mpris.MediaPlayer2'";

// The players' property changes: the daemon filters on the path and on the interface
// named in the first argument (the MPRIS root interface or one under it).
constexpr const char* PropertyWatch =
    "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
    "path='/org/mpris/MediaPlayer2',arg0namespace='org.mpris.MediaPlayer2'";

bool IsPlayerName(const std::string& name) {
    return name.rfind(MprisBusPrefix, 0) == 0;
}

std::string ErrorText(int result) {
    return std::strerror(-result);
}

}  // namespace

struct MprisBus::OpenCall {
    MprisBus* bus;
    std::uint64_t id;
    std::string busName;
    Reply done;
    sd_bus_slot* slot = nullptr;
};

std::unique_ptr<MprisBus> MprisBus::Open(EventLoop& loop, Hooks hooks, std::string& why) {
    sd_event* event = loop.SdEvent();
    if (event == nullptr) {
        why = "the receiver's loop cannot carry a bus";
        return nullptr;
    }
    // Connects without waiting: the handshake and Hello go on as the loop turns (sdbus-c++
    // would flush them, blocking, which is why the link speaks sd-bus itself).
    sd_bus* bus = nullptr;
    if (const int r = sd_bus_open_user(&bus); r < 0) {
        why = ErrorText(r);
        return nullptr;
    }
    if (const int r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL); r < 0) {
        why = ErrorText(r);
        sd_bus_close_unref(bus);
        return nullptr;
    }
    std::unique_ptr<MprisBus> made(new MprisBus(bus, std::move(hooks)));
    made->Watch(NameWatch, true);
    made->Watch(PropertyWatch, false);
    sd_bus_slot* filter = nullptr;
    if (const int r = sd_bus_add_filter(bus, &filter, OnMessage, made.get()); r < 0) {
        why = ErrorText(r);
        return nullptr;
    }
    made->watches_.push_back(filter);
    made->ListNames();
    return made;
}

MprisBus::MprisBus(sd_bus* bus, Hooks hooks) : bus_(bus), hooks_(std::move(hooks)) {}

MprisBus::~MprisBus() {
    for (auto& [id, call] : calls_) {
        sd_bus_slot_unref(call->slot);
    }
    for (sd_bus_slot* watch : watches_) {
        sd_bus_slot_unref(watch);
    }
    sd_bus_detach_event(bus_);
    sd_bus_close_unref(bus_);
}

void MprisBus::Watch(const char* rule, bool names) {
    sd_bus_slot* slot = nullptr;
    const auto handler = names ? +[](sd_bus_message* m, void* self, sd_bus_error*) {
        static_cast<MprisBus*>(self)->Changed(m, true);
        return 0;
    }
                               : +[](sd_bus_message* m, void* self, sd_bus_error*) {
                                     static_cast<MprisBus*>(self)->Changed(m, false);
                                     return 0;
                                 };
    // Installed without waiting; a failure to install shows as a player never heard.
    if (sd_bus_add_match_async(bus_, &slot, rule, handler, nullptr, this) >= 0) {
        watches_.push_back(slot);
    }
}

void MprisBus::ListNames() {
    std::string error;
    sd_bus_message* call = NewCall(DaemonName, DaemonPath, DaemonName, "ListNames", error);
    Call(call, {}, [this](sd_bus_message* reply, const std::string& failed) {
        std::vector<std::string> names;
        if (!failed.empty() || !MprisPlayerProxy::ReadStrings(reply, names)) {
            return;  // a later key finds the names unknown, and the bus silent
        }
        namesKnown_ = true;
        for (const std::string& name : names) {
            if (IsPlayerName(name)) {
                OwnerChanged(name, true);
            }
        }
        hooks_.listed();
    });
}

void MprisBus::TakeIn(int most) {
    // Stops at a loss: the bus may be told to go from inside.
    for (int i = 0; i < most && !lost_ && sd_bus_process(bus_, nullptr) > 0; ++i) {
    }
}

sd_bus_message* MprisBus::NewCall(const std::string& busName, const char* path,
                                  const char* interface, const char* member, std::string& error) {
    sd_bus_message* call = nullptr;
    if (const int r =
            sd_bus_message_new_method_call(bus_, &call, busName.c_str(), path, interface, member);
        r < 0) {
        error = ErrorText(r);
        return nullptr;
    }
    return call;
}

void MprisBus::Call(sd_bus_message* call, const std::string& busName, Reply done,
                    std::chrono::microseconds timeout) {
    if (call == nullptr) {
        done(nullptr, "the call could not be made");
        return;
    }
    const std::uint64_t id = nextCall_++;
    auto open = std::make_unique<OpenCall>(OpenCall{this, id, busName, std::move(done)});
    const int r = sd_bus_call_async(
        bus_, &open->slot, call, OnReply, open.get(),
        timeout.count() > 0 ? static_cast<std::uint64_t>(timeout.count()) : NoTimeout);
    sd_bus_message_unref(call);
    if (r < 0) {
        open->done(nullptr, ErrorText(r));
        return;
    }
    calls_.emplace(id, std::move(open));
}

int MprisBus::OnReply(sd_bus_message* message, void* self, sd_bus_error* /*error*/) {
    auto* call = static_cast<OpenCall*>(self);
    MprisBus& bus = *call->bus;
    const auto found = bus.calls_.find(call->id);
    if (found == bus.calls_.end()) {
        return 0;
    }
    // Taken out first: the callback may make calls, or drop its player's.
    std::unique_ptr<OpenCall> done = std::move(found->second);
    bus.calls_.erase(found);
    sd_bus_slot_unref(done->slot);  // sd-bus holds it until this returns
    const sd_bus_error* failed = sd_bus_message_get_error(message);
    try {
        if (failed != nullptr) {
            done->done(nullptr, std::string(failed->name) + ": " +
                                    (failed->message != nullptr ? failed->message : ""));
        } else {
            done->done(message, {});
        }
    } catch (...) {
        // A callback runs under sd-bus's C code, which cannot carry an exception.
    }
    return 0;
}

int MprisBus::OnMessage(sd_bus_message* message, void* self, sd_bus_error* /*error*/) {
    auto* bus = static_cast<MprisBus*>(self);
    if (sd_bus_message_is_signal(message, LocalInterface, "Disconnected") > 0 && !bus->lost_) {
        bus->lost_ = true;
        bus->hooks_.lost("the connection was closed");
    }
    return 0;
}

void MprisBus::Changed(sd_bus_message* signal, bool names) {
    try {
        if (names) {
            std::string name;
            std::string oldOwner;
            std::string newOwner;
            // Until the list arrives, it already holds every change announced before it.
            if (namesKnown_ &&
                MprisPlayerProxy::ReadOwnerChange(signal, name, oldOwner, newOwner) &&
                IsPlayerName(name)) {
                OwnerChanged(name, !newOwner.empty());
            }
            return;
        }
        MprisProperties changed;
        std::vector<std::string> invalidated;
        if (!MprisPlayerProxy::ReadChanges(signal, changed, invalidated)) {
            return;  // not a PropertiesChanged as the interface has it; anyone may send one
        }
        const char* sender = sd_bus_message_get_sender(signal);
        for (const auto& [name, owner] : owners_) {
            if (sender != nullptr && owner == sender) {
                hooks_.propertiesChanged(name, changed, invalidated);
            }
        }
    } catch (...) {
        // As OnReply: nothing may cross sd-bus.
    }
}

void MprisBus::OwnerChanged(const std::string& name, bool owned) {
    // Gone, or another connection's now: what was asked of the old owner goes with it.
    const bool known = names_.count(name) != 0;
    if (known) {
        DropCalls(name);
        owners_.erase(name);
    }
    if (owned) {
        names_.insert(name);
    } else if (!known) {
        return;
    } else {
        names_.erase(name);
    }
    hooks_.ownerChanged(name, owned);
}

void MprisBus::DropCalls(const std::string& busName) {
    for (auto call = calls_.begin(); call != calls_.end();) {
        if (call->second->busName == busName) {
            sd_bus_slot_unref(call->second->slot);
            call = calls_.erase(call);
        } else {
            ++call;
        }
    }
}
