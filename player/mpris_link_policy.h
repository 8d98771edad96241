#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "actions/player_feedback.h"
#include "actions/player_link.h"
#include "platform/event_loop.h"
#include "player/choice_report.h"
#include "player/mpris_bus.h"
#include "player/mpris_notifier.h"
#include "player/mpris_player_cache.h"
#include "player/mpris_player_choice.h"
#include "player/mpris_session.h"

// MprisPlayerLink's workings (its header says what it does): which player, what a key does
// to it, how long it is waited for, on the parts that keep the bus (MprisSession, MprisBus),
// what is known of the players (MprisPlayerCache) and the calls (MprisPlayerProxy). All of
// it runs on the receiver's loop; only Interrupt comes from another thread.
class MprisLinkPolicy {
  public:
    using Clock = std::chrono::steady_clock;
    using Deadline = Clock::time_point;

    MprisLinkPolicy(MprisPlayerFilter filter, int replyTimeoutMs, bool notify);
    ~MprisLinkPolicy();
    MprisLinkPolicy(const MprisLinkPolicy&) = delete;
    MprisLinkPolicy& operator=(const MprisLinkPolicy&) = delete;

    void Attach(EventLoop& loop);
    // The player chosen now, for a key whose wait ends at deadline: what is not known yet
    // (the bus's names, a new player's first answer) is waited for on the loop, at most
    // until a share of it.
    std::string Choose(Deadline deadline);
    // busName's names, as the link's PlayerNames; none for no player.
    std::vector<std::string> PlayerNames(const std::string& busName);
    void Announce(const PlayerNews& news);
    void Perform(const PlayerRequest& request, const PlayerChoice& choice);
    void Interrupt();
    // Where each key's outcome is told (PlayerLink::TellOutcomes); none for nobody.
    void TellOutcomes(PressOutcome* outcomes) { outcomes_ = outcomes; }
    // Nothing waits: no key for its player, no call for its answer, no news for its
    // notification's id.
    bool Idle() const {
        return pending_.empty() && busy_.empty() && (!notifier_ || notifier_->Idle());
    }
    // Most messages taken in at a key before its player is chosen.
    static constexpr int TakenInAtAKey = 64;

  private:
    using Replied = std::shared_ptr<bool>;
    // A key waiting to be sent: for the players to be known, or for its player to answer
    // the call before it.
    struct Pending {
        PlayerRequest request;
        PlayerChoice choice;
        Deadline pressed;
        Deadline until;
        bool behindCall = false;  // waited for its player to answer the call before it
    };

    void Joined(MprisBus* bus);
    void OwnerChanged(const std::string& name, bool owned);
    // What the link must know before it chooses: the names on the bus, and every new
    // player's first answer (or its silence).
    bool Known() const;
    // Until when a key pressed at pressed waits for that.
    Deadline LookupUntil(Deadline pressed, Deadline until) const;
    // Gives up waiting for what a key needed known: the bus is silent when it never listed its
    // names, a player that never answered its first reading is.
    void GiveUp();
    // Gives up on what the time has passed: a bus that never listed its names, players that
    // never answered; then sends what can go.
    void Expire();
    void Advance();
    void Arm();
    std::string ChooseNow();
    void ReadPlayer(const std::string& name, bool recent);
    void Dispatch(const PlayerRequest& request, std::string chosen, Deadline until,
                  std::uint64_t press);
    // Tells the outcome of press's action, when someone listens: why it failed, or (why
    // empty) that it reached its player.
    void Outcome(std::uint64_t press, const std::string& why = {});
    // False when no player fits.
    bool MoveRemote(const std::string& from, int step);
    // Tells the feedback, when there is one, of what happened to busName.
    void Tell(PlayerNews::Kind kind, const std::string& busName, std::string text);
    void Report(std::string line, bool warning = false);
    void Command(const std::string& busName, const PlayerRequest& request, Deadline until,
                 std::uint64_t press);
    // Writes what next makes of the volume (nothing when it stays the same), from the volume
    // as last heard; reads it first only when there is none.
    void ChangeVolume(const std::string& busName, const std::function<double(double)>& next,
                      PlayerNews::Kind kind, Deadline until, std::uint64_t press);
    void WriteVolume(const std::string& busName, const std::function<double(double)>& next,
                     PlayerNews::Kind kind, Deadline until, std::uint64_t press);
    // The callback of one call to busName: it marks the player heard (and no longer busy
    // with this call), says a failure as what failed (nothing when what is empty); failed,
    // when given, is told of a failure; press's outcome is told (none for 0).
    MprisBus::Done Reply(const std::string& busName, std::string what,
                         std::function<void(bool ok)> then = {}, std::uint64_t press = 0);
    // The same for a read, whose values the cache learns; known: the player is not read
    // again once it answered, even with an error.
    MprisBus::Read Learning(const std::string& busName, std::string what, bool recent, bool known,
                            std::function<void(bool ok)> then = {});

    MprisPlayerFilter filter_;
    std::chrono::milliseconds replyTimeout_;
    std::chrono::milliseconds lookupTimeout_;
    MprisPlayerCache cache_;
    std::string lastCommanded_;
    std::string pinned_;  // where next-player or previous-player put the remote
    std::string told_;    // the player the feedback last named, so a switch is told
    std::map<std::string, double> mutedFrom_;  // the volume before a player was muted
    ChoiceReport report_;                      // the last line about the choice, said once
    // The players whose first reading is unanswered, with the replies still due.
    std::map<std::string, int> reading_;
    // A player with a command unanswered, and until when it is waited for.
    std::map<std::string, Deadline> busy_;
    std::deque<Pending> pending_;
    // The bus let a key's wait for its names pass: keys do not wait for it again until it
    // lists them.
    bool busSilent_ = false;
    bool listed_ = false;     // the bus's names were listed: a player coming now is new
    bool advancing_ = false;  // Advance runs; again_: it is to look once more
    bool again_ = false;
    std::atomic<bool> interrupted_{false};
    std::atomic<EventLoop*> loop_{nullptr};
    std::unique_ptr<EventLoop::Timer> timer_;  // the first deadline of pending_ and busy_
    std::unique_ptr<MprisNotifier> notifier_;  // null without notify
    MprisBus* bus_ = nullptr;                  // the session's; null when not joined
    PressOutcome* outcomes_ = nullptr;
    std::unique_ptr<MprisSession> session_;  // goes first, and its bus with it
};
