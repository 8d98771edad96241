#pragma once

#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "player/mpris_player_proxy.h"

// What a link shares with its bus's reading thread: every member of MprisBus is called, and
// every callback of it runs, with mutex held.
struct MprisBusLock {
    std::mutex mutex;
    // Notified after each reading of the bus, and by an interruption.
    std::condition_variable read;
    // Set from any thread, before interruptFd is made readable: every wait ends at once from
    // then on. The reading thread polls interruptFd and notifies read, so an interruption
    // takes no lock.
    std::atomic<bool> interrupted{false};
    int interruptFd = -1;
};

// One connection to a D-Bus session bus, read as messages arrive by a thread of its own:
// it sleeps in poll on the connection's descriptor and a wake-up descriptor (with no
// time-out unless a call that has one is open, so an idle program never wakes), and takes
// in what has arrived under the lock, then notifies lock.read, so nothing piles up in the bus
// daemon however chatty a player is. It keeps the set of MPRIS names on the bus current from the
// bus's NameOwnerChanged signals, so a key press need not ask for it, and hands on the players'
// PropertiesChanged signals, so a press need not ask them either. Calls go out at once
// without waiting; each call's outcome reaches its callback when it arrives, however late,
// for calls never time out by themselves: the caller decides how long to wait (RunUntil).
// While a RunUntil waits, the waiting thread reads the connection itself and the reading
// thread stands aside, so an answer reaches its caller with no hand-off between threads.
// When a name leaves the bus or changes owner, the calls still open to it are dropped and
// ownerChanged is told, outside any callback.
//
// A signal comes from a connection, not from a name: the answer to ReadPlayer tells which
// connection owns the name asked, and only from then on does that connection's
// PropertiesChanged reach propertiesChanged, under each name it was asked by. What it said
// before is older than that answer, as a connection's messages arrive in the order sent.
//
// A lost bus ends the reading; RunUntil then throws the sdbus::Error it failed with, as
// every member does when the bus fails.
class MprisBus {
  public:
    using Deadline = std::chrono::steady_clock::time_point;
    using Properties = MprisPlayerProxy::Properties;
    struct Hooks {
        // A name left the bus (owned false) or changed owner.
        std::function<void(const std::string& busName, bool owned)> ownerChanged;
        // A player's properties that changed (on any MPRIS interface): the new values, and
        // the names of those it said changed without their values.
        std::function<void(const std::string& busName, const Properties& changed,
                           const std::vector<std::string>& invalidated)>
            propertiesChanged;
    };

    // Drives connection, a session bus joined already (SessionBusConnector), and starts
    // reading it; the watches wait at most callTimeout.
    MprisBus(std::unique_ptr<sdbus::IConnection> connection, std::chrono::microseconds callTimeout,
             Hooks hooks, MprisBusLock& lock);
    // Stops, and joins the reading thread: without the lock held.
    ~MprisBus();
    MprisBus(const MprisBus&) = delete;
    MprisBus& operator=(const MprisBus&) = delete;

    // From now on no callback runs. From any thread, with the lock held or not.
    void Stop();

    // Waits until the MPRIS names on the bus are known; false when deadline came first.
    bool LearnNames(std::unique_lock<std::mutex>& lock, Deadline deadline);
    // The MPRIS names on the bus, as of the last reading.
    const std::set<std::string>& Names() const { return names_; }

    MprisPlayerProxy& Player(const std::string& busName);
    // Player(busName).ReadPlayer; from its answer on, the player's property changes reach
    // propertiesChanged.
    void ReadPlayer(const std::string& busName, MprisPlayerProxy::Read done);

    // The id of a desktop notification, or why showing it failed (error not empty).
    using Notified = std::function<void(const std::string& error, std::uint32_t id)>;
    // Shows a desktop notification (org.freedesktop.Notifications) without waiting: a new
    // one for replacesId 0, else it updates the one the server gave that id. A server that
    // has not answered within NotifyTimeout fails it, so a hung one holds no notification
    // back for ever.
    static constexpr std::chrono::seconds NotifyTimeout{5};
    void Notify(const std::string& summary, const std::string& body, std::uint32_t replacesId,
                Notified done);

    // Takes in what has arrived, then waits, releasing lock meanwhile, until done() holds,
    // deadline has passed or the lock was interrupted; returns done(). With a deadline
    // already past it only takes in.
    bool RunUntil(std::unique_lock<std::mutex>& lock, Deadline deadline,
                  const std::function<bool()>& done);

  private:
    void ListNames();
    void TakeIn();
    void ApplyNameChanges();
    // Has the reading thread look at the connection again: what it waits for may have
    // changed with a call sent.
    void Wake();
    void Read();
    void Drain();

    Hooks hooks_;
    MprisBusLock& lock_;
    std::set<std::string> names_;
    // The connection (unique name) that owns each name, as its answer to ReadPlayer said.
    std::map<std::string, std::string> owners_;
    bool namesKnown_ = false;
    bool listing_ = false;
    // (bus name, still owned) in the order the bus announced them.
    std::vector<std::pair<std::string, bool>> nameChanges_;
    std::optional<sdbus::Error> lost_;  // why the reading ended, when the bus failed
    // Destroyed before the connection, dropping the calls still open.
    std::unique_ptr<sdbus::IConnection> connection_;
    std::unique_ptr<sdbus::IProxy> daemon_;
    std::unique_ptr<sdbus::IProxy> notifications_;  // made at the first Notify
    sdbus::Slot nameWatch_;
    sdbus::Slot propertyWatch_;
    std::map<std::string, std::unique_ptr<MprisPlayerProxy>> players_;
    std::atomic<bool> stopping_{false};
    // A RunUntil reads the connection itself (set and cleared with the lock held); the
    // reading thread stands aside meanwhile.
    std::atomic<bool> driven_{false};
    int wakeFd_;  // an eventfd
    std::thread reader_;
};
