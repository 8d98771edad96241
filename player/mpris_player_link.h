#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "player/mpris_player_choice.h"
#include "player/player_link.h"

struct DBusConnection;
struct DBusMessage;

// Commands an MPRIS media player over D-Bus: PlayPause, Previous, Next and the Volume
// property. The player is chosen by ChooseMprisPlayer and looked up again whenever none
// is held or the held one has left the bus, so a player started or restarted later is
// still reached. A command's calls (two for a volume step: read, then write) share one
// ReplyTimeoutMs bound, and a lookup asks all players at once under one bound of its own,
// so a hung player delays the remote but never freezes it. Failures go to the lcPlayer
// log only; without a bus that is a single line until a bus is reached again. A bus that
// goes away is said once and joined again at the next command or lookup (one attempt
// each), so a restarted session bus is picked up; losing it never ends the program.
//
// Threads: the link owns a private libdbus connection and writes and reads its socket on
// the calling thread, waiting for replies without an event loop. QtDBus always sends and
// receives on a connection thread of its own, so a blocking call from the receiver thread
// woke that thread to send and was woken again for the reply: about four thread crossings
// per command, where this costs one wake-up, the reply's. The connection is made on first
// use, so the link may be built on one thread and used on another, including one that
// never runs an event loop (the receiver thread). It has no locking of its own: one
// thread at a time.
class MprisPlayerLink : public PlayerLink {
  public:
    static constexpr int ReplyTimeoutMs = 1000;
    static constexpr double VolumeStep = 0.05;

    // wantedName is the --player NAME, empty for any player. busAddress is the D-Bus
    // address to join; empty means the session bus named by DBUS_SESSION_BUS_ADDRESS (when
    // that is unset there is no bus: none is ever launched). Without a bus the link finds
    // no player and says so once in the log. Only tests that must not fail on a slow
    // machine pass a longer replyTimeoutMs.
    explicit MprisPlayerLink(std::string wantedName = {}, std::string busAddress = {},
                             int replyTimeoutMs = ReplyTimeoutMs);
    ~MprisPlayerLink() override;
    MprisPlayerLink(const MprisPlayerLink&) = delete;
    MprisPlayerLink& operator=(const MprisPlayerLink&) = delete;

    std::string FindPlayerWindow() override;
    void SendPlayerCommand(int id) override;

  private:
    using Deadline = std::chrono::steady_clock::time_point;
    enum class Delivery { Done, Failed, PlayerGone };

    bool BusUsable();
    bool Connect(std::string& whyNot);
    void Disconnect();
    std::string Lookup();
    std::vector<MprisCandidate> ListCandidates();
    Delivery Deliver(int id);
    Delivery CallPlayerMethod(const char* method, Deadline deadline);
    Delivery StepVolume(double step, Deadline deadline);
    // Sends message (null when it could not be built) and waits for the reply until
    // deadline. A failure is logged as what failed; on success *reply, when asked for,
    // takes the reply.
    Delivery CallPlayer(DBusMessage* message, Deadline deadline, const char* what,
                        DBusMessage** reply);

    std::string wanted_;
    std::string address_;  // empty: the session bus
    int replyTimeoutMs_;
    DBusConnection* connection_ = nullptr;  // private to the link, null when not joined
    std::string player_;                    // bus name of the player held, empty when none
    bool noBusReported_ = false;
    bool noPlayerReported_ = false;
};
