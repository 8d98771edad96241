#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/event_loop.h"
#include "player/mpris_value.h"

// One connection to the D-Bus session bus, plain sd-bus joined to the receiver's loop
// (sd_bus_attach_event): the loop watches the bus's descriptor, its events and its time-out,
// and each turn sd-bus handles one message, so a chatty player never keeps the loop from the
// key sources. Nothing waits: Open connects, authenticates and says Hello as the loop turns,
// and calls made meanwhile wait in sd-bus's queue. It keeps the set of MPRIS names on the bus
// from ListNames and NameOwnerChanged, and hands on the players' PropertiesChanged.
//
// Calls go out at once with no time-out of their own (the caller keeps its own deadlines);
// each outcome reaches its callback when it arrives, however late. When a name leaves the bus
// or changes owner, the calls still open to it are dropped and ownerChanged is told. A signal
// comes from a connection, not a name: only once a ReadPlayer's answer told which connection
// owns a name do that connection's PropertiesChanged reach propertiesChanged under it.
//
// Used on the loop's thread only, and never destroyed from inside one of its callbacks.
class MprisBus {
  public:
    using Done = std::function<void(const std::string& error)>;
    // What a read gave; sender is the unique name of the connection that answered.
    using Read = std::function<void(const std::string& error, const MprisProperties& properties,
                                    const std::string& sender)>;
    // A reply (null with the error when the call failed).
    using Reply = std::function<void(sd_bus_message* reply, const std::string& error)>;
    struct Hooks {
        // A name came (owned) or left the bus or changed owner.
        std::function<void(const std::string& busName, bool owned)> ownerChanged;
        std::function<void(const std::string& busName, const MprisProperties& changed,
                           const std::vector<std::string>& invalidated)>
            propertiesChanged;
        // The names on the bus are known (ListNames answered).
        std::function<void()> listed;
        // The connection is gone, with why; told once, from a callback.
        std::function<void(const std::string& why)> lost;
    };

    // Starts joining the session bus on loop; null with why when it cannot even start.
    static std::unique_ptr<MprisBus> Open(EventLoop& loop, Hooks hooks, std::string& why);
    ~MprisBus();
    MprisBus(const MprisBus&) = delete;
    MprisBus& operator=(const MprisBus&) = delete;

    // Handles what has come in and waits, most messages at most, without waiting: at a key,
    // so the player is chosen from what the players said up to the press.
    void TakeIn(int most);

    bool NamesKnown() const { return namesKnown_; }
    // The MPRIS names on the bus, as last heard.
    const std::set<std::string>& Names() const { return names_; }

    // A method call to busName's object at path, for Call to send.
    sd_bus_message* NewCall(const std::string& busName, const char* path, const char* interface,
                            const char* member, std::string& error);
    // Sends call (taking it; null for one that could not be made) and hands its reply to done;
    // an error that stops it going out reaches done at once. Answers from busName that come
    // after it left are dropped. A call with a time-out fails when it passes; by default none.
    void Call(sd_bus_message* call, const std::string& busName, Reply done,
              std::chrono::microseconds timeout = std::chrono::microseconds::zero());
    // The answer to a read of busName's properties names its owner, whose PropertiesChanged
    // then reach propertiesChanged under busName.
    void Owns(const std::string& busName, const std::string& sender) { owners_[busName] = sender; }

  private:
    struct OpenCall;
    MprisBus(sd_bus* bus, Hooks hooks);

    static int OnReply(sd_bus_message* message, void* self, sd_bus_error* error);
    static int OnMessage(sd_bus_message* message, void* self, sd_bus_error* error);
    void Watch(const char* rule, bool names);
    void ListNames();
    void Changed(sd_bus_message* signal, bool names);
    void OwnerChanged(const std::string& name, bool owned);
    void DropCalls(const std::string& busName);

    sd_bus* bus_;
    Hooks hooks_;
    std::set<std::string> names_;
    bool namesKnown_ = false;
    bool lost_ = false;
    // The connection (unique name) that owns each name, as its answer to a read said.
    std::map<std::string, std::string> owners_;
    std::uint64_t nextCall_ = 0;
    std::map<std::uint64_t, std::unique_ptr<OpenCall>> calls_;
    std::vector<sd_bus_slot*> watches_;
};
