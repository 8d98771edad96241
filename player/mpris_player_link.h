#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "player/player_action.h"
#include "player/player_link.h"
#include "player/session_bus_connector.h"

class MprisBus;
namespace sdbus {
class IConnection;
class Variant;
}  // namespace sdbus

// Commands an MPRIS media player over D-Bus: PlayPause, Play, Pause, Stop, Previous, Next,
// Seek, Raise, steps of the Volume property (SteppedVolume) and muting (Volume 0, and back
// to what it was at the next mute). The player is chosen again at every command, by
// ChooseMprisPlayer, among the players on the bus at that moment. When two or more may fit,
// each is asked for its PlaybackStatus (and, for a --player name, its Identity, once) all at
// once, so the lookup costs one round trip however many players run; with one, nothing is
// asked before the command.
//
// Time: a command waits for players at most replyTimeoutMs in all, lookup included; the
// lookup itself at most three tenths of it, leaving the rest to the command. A player that
// lets a call go unanswered that long is not waited for again: it is passed over for a
// player that answers, and while it is the one chosen, commands are dropped rather than
// queued for it (a key acted on late, all at once with others, would surprise more than a
// key lost), until one of its replies comes in. A command it left unanswered may still be
// carried out when it wakes: a call sent cannot be taken back.
//
// The bus: the one DBUS_SESSION_BUS_ADDRESS names; when it is not set, as sd-bus does, the
// socket $XDG_RUNTIME_DIR/bus when it exists. No bus is ever launched. Without a bus, or
// when it is lost, that is said once in the lcPlayer log; the bus is joined again at the
// next command, and losing it never ends the program. Failures go to the log only.
//
// Threads: the link owns its connection and drives it on the calling thread, with no
// thread of its own (see MprisBus); only Interrupt may come from another thread. The connection is
// made on first use, so the link may be built on one thread and used on another, including one that
// never runs an event loop (the receiver thread). It has no locking of its own: one thread at a
// time.
class MprisPlayerLink : public PlayerLink {
  public:
    static constexpr int ReplyTimeoutMs = 1000;
    static constexpr double VolumeStep = 0.05;
    // The longest a press waits for the bus to be joined.
    static constexpr std::chrono::milliseconds JoinTimeout{1000};

    // wantedName is the --player NAME, empty for any player. Only tests that must not fail
    // on a slow machine pass a longer replyTimeoutMs.
    explicit MprisPlayerLink(std::string wantedName = {}, int replyTimeoutMs = ReplyTimeoutMs);
    ~MprisPlayerLink() override;
    MprisPlayerLink(const MprisPlayerLink&) = delete;
    MprisPlayerLink& operator=(const MprisPlayerLink&) = delete;

    // The player a command would go to now; empty when none. Joins the bus if need be.
    std::string ChosenPlayer();
    void Perform(const PlayerRequest& request) override;
    void Interrupt() override;

  private:
    using Deadline = std::chrono::steady_clock::time_point;

    // What is known of one player on the bus, forgotten when it leaves or changes owner.
    struct Player {
        std::string identity;
        bool identityKnown = false;
        bool playing = false;        // as answered at this command
        bool silent = false;         // left a call unanswered, and has not answered since
        bool saidBadVolume = false;  // gave a Volume that is no number, said once
    };

    // Whether the bus is joined, joining it if need be, waiting at most until deadline.
    bool Joined(Deadline deadline);
    void Lose(const std::string& why);
    std::string Choose(Deadline deadline);
    void Report(std::string line, bool warning = false);
    void Command(const std::string& busName, const PlayerRequest& request, Deadline deadline);
    // Reads the Volume and writes what next makes of it (nothing when it stays the same).
    void ChangeVolume(const std::string& busName, const std::function<double(double)>& next,
                      Deadline deadline);
    // The callback of one call to busName: it marks the call replied, takes any reply as a
    // sign of life, hands a success's value to use, and says a failure as what failed
    // (nothing when what is empty).
    std::function<void(const std::string&, const sdbus::Variant&)> Reply(
        const std::string& busName, std::string what, std::shared_ptr<bool> replied,
        std::function<void(const sdbus::Variant&)> use = {});
    // Waits for the player's reply until deadline; false when it did not come, and the
    // player is then silent.
    bool Await(const std::string& busName, const std::shared_ptr<bool>& replied, Deadline deadline);
    // A player that left a call unanswered, and one of whose replies has come in.
    void Silence(const std::string& busName);
    void Heard(const std::string& busName);

    std::string wanted_;
    std::chrono::milliseconds replyTimeout_;
    std::chrono::milliseconds lookupTimeout_;
    std::map<std::string, Player> players_;
    std::string lastCommanded_;
    std::map<std::string, double> mutedFrom_;  // the volume before a player was muted
    std::string lastReport_;                   // the last line about the choice, said once
    bool noBusReported_ = false;
    // Readable once interrupted: an eventfd, which stays so.
    int interruptFd_;
    SessionBusConnector connector_;
    std::unique_ptr<sdbus::IConnection> connection_;  // joined at once, not yet driven
    std::unique_ptr<MprisBus> bus_;                   // null when not joined
};
