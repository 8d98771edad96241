#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

// One connection to a D-Bus session bus, driven by hand on the calling thread: it has no
// thread and no event loop of its own, and messages move only inside RunUntil. It keeps the
// set of MPRIS names on the bus current from the bus's NameOwnerChanged signals, so a key
// press need not ask for it, and hands on the players' PropertiesChanged signals, so a
// press need not ask them either. Calls go out at once without waiting; each call's outcome
// reaches its callback inside a later RunUntil, however late it comes, for calls never time
// out by themselves: the caller decides how long to wait. When a name leaves the bus or
// changes owner, the calls still open to it are dropped and ownerChanged is told, outside
// any callback.
//
// A signal comes from a connection, not from a name: the answer to GetAll tells which
// connection owns the name asked, and only from then on does that connection's
// PropertiesChanged reach propertiesChanged, under each name it was asked by. What it said
// before is older than that answer, as a connection's messages arrive in the order sent.
//
// Every member throws sdbus::Error when the bus fails: it cannot be joined, or is lost.
// One thread at a time.
class MprisBus {
  public:
    using Deadline = std::chrono::steady_clock::time_point;
    // error is empty when the call succeeded; value is what a Get read.
    using Outcome = std::function<void(const std::string& error, const sdbus::Variant& value)>;
    using Properties = std::map<std::string, sdbus::Variant>;
    // A player's properties that changed (on any MPRIS interface): the new values, and the
    // names of those it said changed without their values.
    using PropertiesChanged =
        std::function<void(const std::string& busName, const Properties& changed,
                           const std::vector<std::string>& invalidated)>;

    // Drives connection, a session bus joined already (SessionBusConnector); the watches
    // wait at most callTimeout. interruptFd, when readable, ends every RunUntil at once.
    MprisBus(std::unique_ptr<sdbus::IConnection> connection, std::chrono::microseconds callTimeout,
             std::function<void(const std::string& busName)> ownerChanged,
             PropertiesChanged propertiesChanged, int interruptFd);
    ~MprisBus();
    MprisBus(const MprisBus&) = delete;
    MprisBus& operator=(const MprisBus&) = delete;

    // Waits until the MPRIS names on the bus are known; false when deadline came first.
    bool LearnNames(Deadline deadline);
    // The MPRIS names on the bus, as of the last RunUntil.
    const std::set<std::string>& Names() const { return names_; }

    void Get(const std::string& busName, const char* interface, const char* property, Outcome done);
    // Every property of interface; value holds Properties. From its answer on, the
    // player's property changes reach propertiesChanged.
    void GetAll(const std::string& busName, const char* interface, Outcome done);
    void Set(const std::string& busName, const char* interface, const char* property,
             const sdbus::Variant& value, Outcome done);
    void Call(const std::string& busName, const char* interface, const char* method, Outcome done);
    // A method that takes one 64-bit number (Seek, by microseconds).
    void Call(const std::string& busName, const char* interface, const char* method,
              std::int64_t argument, Outcome done);

    // The id of a desktop notification, or why showing it failed (error not empty).
    using Notified = std::function<void(const std::string& error, std::uint32_t id)>;
    // Shows a desktop notification (org.freedesktop.Notifications) without waiting: a new
    // one for replacesId 0, else it updates the one the server gave that id. done gets the
    // server's answer inside a later RunUntil; a server that has not answered within
    // NotifyTimeout fails it, so a hung one holds no notification back for ever.
    static constexpr std::chrono::seconds NotifyTimeout{5};
    void Notify(const std::string& summary, const std::string& body, std::uint32_t replacesId,
                Notified done);

    // Takes in what has arrived, handing outcomes and name changes on, until done() holds,
    // deadline has passed or the interrupt descriptor is readable; returns done(). With a
    // deadline already past it only takes in.
    bool RunUntil(Deadline deadline, const std::function<bool()>& done);

  private:
    sdbus::IProxy& PlayerObject(const std::string& busName);
    void ListNames();
    void ApplyNameChanges();

    std::function<void(const std::string&)> ownerChanged_;
    PropertiesChanged propertiesChanged_;
    int interruptFd_;
    std::set<std::string> names_;
    // The connection (unique name) that owns each name, as its answer to GetAll said.
    std::map<std::string, std::string> owners_;
    bool namesKnown_ = false;
    bool listing_ = false;
    // (bus name, still owned) in the order the bus announced them.
    std::vector<std::pair<std::string, bool>> nameChanges_;
    // Destroyed before the connection, dropping the calls still open.
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> daemon_;
    std::unique_ptr<sdbus::IProxy> notifications_;  // made at the first Notify
    sdbus::Slot nameWatch_;
    sdbus::Slot propertyWatch_;
    std::map<std::string, std::unique_ptr<sdbus::IProxy>> players_;
};
