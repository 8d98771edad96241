#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/mpris_notifier.h"
#include "player/mpris_player_choice.h"
#include "player/player_action.h"
#include "player/player_feedback.h"
#include "player/player_link.h"
#include "player/session_bus_connector.h"

class MprisBus;
namespace sdbus {
class IConnection;
class Variant;
}  // namespace sdbus

// Commands an MPRIS media player over D-Bus: PlayPause, Play, Pause, Stop, Previous, Next,
// Seek, Raise, steps of the Volume property (SteppedVolume) and muting (Volume 0, and back
// to what it was at the next mute); next-player and previous-player move the remote between
// the players (StepMprisPlayer), where it stays until moved again or that player leaves.
//
// The player is chosen again at every command, by ChooseMprisPlayer, among the players on
// the bus at that moment, from what the link already knows of them: each player's
// PlaybackStatus, Volume and Identity are read once when it appears (GetAll, and a Get of
// Identity) and kept current from its PropertiesChanged signals, which wait on the
// connection until the next command takes them in. So a command is one call, however many
// players run, and a volume step one Set from the volume as last heard (asked only when the
// player never said it); only the first command after a player appears waits for its answer
// too.
//
// Time: a command waits for players at most replyTimeoutMs in all, the reading of new
// players included; that reading at most three tenths of it, leaving the rest to the
// command. A player that lets a call go unanswered that long is not waited for again: it is
// passed over for a player that answers, and while it is the one chosen, commands are
// dropped rather than queued for it (a key acted on late, all at once with others, would
// surprise more than a key lost), until one of its replies comes in. A command it left
// unanswered may still be carried out when it wakes: a call sent cannot be taken back.
//
// With notify (--notify), what a key did is shown as a desktop notification over the same
// connection (MprisNotifier), after the player's reply, so a key waits no longer for it:
// the remote moving to another player, with that player's Identity, and a volume step or
// mute with the volume it left, in percent.
//
// The bus: the one DBUS_SESSION_BUS_ADDRESS names; when it is not set, as sd-bus does, the
// socket $XDG_RUNTIME_DIR/bus when it exists. No bus is ever launched. Without a bus, or
// when it is lost, that is said once in the lcPlayer log; the bus is joined again at the
// next command, and losing it never ends the program. Failures go to the log only.
//
// Threads: the link owns its connection and drives it on the calling thread (see MprisBus);
// only Interrupt may come from another thread. Joining the bus starts when the link is made
// and runs on a thread of its own (SessionBusConnector), so a bus that never answers holds
// nothing up: a command waits for the join at most JoinTimeout, and is dropped when the bus
// has not answered by then. The link may be built on one thread and used on another,
// including one that never runs an event loop (the receiver thread). It has no locking of
// its own: one thread at a time.
class MprisPlayerLink : public PlayerLink {
  public:
    static constexpr int ReplyTimeoutMs = 1000;
    static constexpr double VolumeStep = 0.05;
    // The longest a press waits for the bus to be joined.
    static constexpr std::chrono::milliseconds JoinTimeout{1000};

    // filter holds --player's list and --ignore-player's names; empty for any player. Only
    // tests that must not fail on a slow machine pass a longer replyTimeoutMs.
    explicit MprisPlayerLink(MprisPlayerFilter filter = {}, int replyTimeoutMs = ReplyTimeoutMs,
                             bool notify = false);
    ~MprisPlayerLink() override;
    MprisPlayerLink(const MprisPlayerLink&) = delete;
    MprisPlayerLink& operator=(const MprisPlayerLink&) = delete;

    // The player a command would go to now; empty when none. Joins the bus if need be, and
    // reads the players it does not know yet.
    std::string ChosenPlayer();
    void Perform(const PlayerRequest& request) override;
    void Interrupt() override;

  private:
    using Deadline = std::chrono::steady_clock::time_point;
    using Properties = std::map<std::string, sdbus::Variant>;

    // What is known of one player on the bus, forgotten when it leaves or changes owner.
    struct Player {
        bool known = false;  // read since it appeared, and not said stale since
        std::string identity;
        std::string status;               // PlaybackStatus as last heard; empty before
        std::uint64_t becamePlaying = 0;  // see MprisCandidate
        std::optional<double> volume;     // as last heard or written; none: ask
        bool silent = false;              // left a call unanswered, and has not answered since
        bool saidBadVolume = false;       // gave a Volume that is no number, said once
    };

    // Whether the bus is joined, joining it if need be, waiting at most until deadline.
    bool Joined(Deadline deadline);
    void Lose(const std::string& why);
    std::string Choose(Deadline deadline);
    // Asks the players not known yet for their properties, and waits for them until deadline.
    void ReadNewPlayers(Deadline deadline);
    // What the players said of themselves: in answer to a read, or unasked. recent: a
    // change into Playing counts as the latest (false for what players said when the link
    // first looked at the bus, which tells nothing of when they started).
    void Learn(Player& player, const Properties& properties, bool recent);
    std::vector<MprisCandidate> Candidates();
    void MoveRemote(const std::string& from, int step);
    // Tells the feedback, when there is one, of what happened to busName.
    void Tell(PlayerNews::Kind kind, const std::string& busName, std::string text);
    void Report(std::string line, bool warning = false);
    void Command(const std::string& busName, const PlayerRequest& request, Deadline deadline);
    // Writes what next makes of the volume (nothing when it stays the same), from the
    // volume as last heard; reads it first only when there is none.
    void ChangeVolume(const std::string& busName, const std::function<double(double)>& next,
                      PlayerNews::Kind kind, Deadline deadline);
    // The callback of one call to busName: it marks the call replied, takes any reply as a
    // sign of life, hands a success's value to use, and says a failure as what failed
    // (nothing when what is empty); failed, when given, is told of a failure.
    std::function<void(const std::string&, const sdbus::Variant&)> Reply(
        const std::string& busName, std::string what, std::shared_ptr<bool> replied,
        std::function<void(const sdbus::Variant&)> use = {}, std::function<void()> failed = {});
    // Waits for the player's reply until deadline; false when it did not come, and the
    // player is then silent.
    bool Await(const std::string& busName, const std::shared_ptr<bool>& replied, Deadline deadline);
    // A player that left a call unanswered, and one of whose replies has come in.
    void Silence(const std::string& busName);
    void Heard(const std::string& busName);

    MprisPlayerFilter filter_;
    std::chrono::milliseconds replyTimeout_;
    std::chrono::milliseconds lookupTimeout_;
    std::map<std::string, Player> players_;
    std::string lastCommanded_;
    std::string pinned_;  // where next-player or previous-player put the remote
    std::string told_;    // the player the feedback last named, so a switch is told
    // Changes into Playing so far: the count MprisCandidate::becamePlaying is taken from.
    std::uint64_t playingChanges_ = 0;
    // True until the players on the bus when it was joined have been asked.
    bool firstLook_ = true;
    std::map<std::string, double> mutedFrom_;  // the volume before a player was muted
    std::string lastReport_;                   // the last line about the choice, said once
    bool noBusReported_ = false;
    // Readable once interrupted: an eventfd, which stays so.
    int interruptFd_;
    std::unique_ptr<MprisNotifier> notifier_;  // null without notify; outlives bus_
    SessionBusConnector connector_;
    std::unique_ptr<sdbus::IConnection> connection_;  // joined at once, not yet driven
    std::unique_ptr<MprisBus> bus_;                   // null when not joined
};
