#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "actions/player_feedback.h"
#include "actions/player_link.h"
#include "player/mpris_bus.h"
#include "player/mpris_notifier.h"
#include "player/mpris_player_cache.h"
#include "player/mpris_player_choice.h"
#include "player/mpris_player_proxy.h"
#include "player/mpris_session.h"

// MprisPlayerLink's workings (its header says what it does): which player, what a key does
// to it, how long it is waited for, on the parts that keep the bus (MprisSession,
// MprisBus), what is known of the players (MprisPlayerCache) and the calls
// (MprisPlayerProxy). It all runs with the bus's lock held, which the bus's thread takes to
// read; a wait releases it.
class MprisLinkPolicy {
  public:
    MprisLinkPolicy(MprisPlayerFilter filter, int replyTimeoutMs, bool notify);
    ~MprisLinkPolicy();
    MprisLinkPolicy(const MprisLinkPolicy&) = delete;
    MprisLinkPolicy& operator=(const MprisLinkPolicy&) = delete;

    std::string ChosenPlayer();
    // busName's names, as the link's PlayerNames; none for no player.
    std::vector<std::string> PlayerNames(const std::string& busName);
    void Announce(const PlayerNews& news);
    void Perform(const PlayerRequest& request, const PlayerChoice& choice);
    void Interrupt();

  private:
    using Deadline = MprisBus::Deadline;
    using Lock = std::unique_lock<std::mutex>;
    using Replied = std::shared_ptr<bool>;

    void Joined(MprisBus* bus);
    std::string Choose(Lock& lock, Deadline deadline);
    // Asks the players not known yet for their properties, and waits for them until deadline.
    void ReadNewPlayers(Lock& lock, Deadline deadline);
    void MoveRemote(const std::string& from, int step);
    // Tells the feedback, when there is one, of what happened to busName.
    void Tell(PlayerNews::Kind kind, const std::string& busName, std::string text);
    void Report(std::string line, bool warning = false);
    void Command(Lock& lock, const std::string& busName, const PlayerRequest& request,
                 Deadline deadline);
    // Writes what next makes of the volume (nothing when it stays the same), from the
    // volume as last heard; reads it first only when there is none.
    void ChangeVolume(Lock& lock, const std::string& busName,
                      const std::function<double(double)>& next, PlayerNews::Kind kind,
                      Deadline deadline);
    // The callback of one call to busName: it marks the call replied, takes any reply as a
    // sign of life, and says a failure as what failed (nothing when what is empty);
    // failed, when given, is told of a failure.
    MprisPlayerProxy::Done Reply(const std::string& busName, std::string what, Replied replied,
                                 std::function<void()> failed = {});
    // The same for a read, whose values the cache learns; known: the player is not read
    // again once it answered, even with an error.
    MprisPlayerProxy::Read Learning(const std::string& busName, std::string what, Replied replied,
                                    bool recent, bool known);
    // Waits for the player's reply until deadline; false when it did not come, and the
    // player is then silent.
    bool Await(Lock& lock, const std::string& busName, const Replied& replied, Deadline deadline);

    MprisPlayerFilter filter_;
    std::chrono::milliseconds replyTimeout_;
    std::chrono::milliseconds lookupTimeout_;
    MprisPlayerCache cache_;
    std::string lastCommanded_;
    std::string pinned_;  // where next-player or previous-player put the remote
    std::string told_;    // the player the feedback last named, so a switch is told
    // True until the players on the bus when it was joined have been asked.
    bool firstLook_ = true;
    std::map<std::string, double> mutedFrom_;  // the volume before a player was muted
    std::string lastReport_;                   // the last line about the choice, said once
    MprisBusLock lock_;                        // its interruptFd readable once interrupted
    std::unique_ptr<MprisNotifier> notifier_;  // null without notify
    MprisBus* bus_ = nullptr;                  // the session's; null when not joined
    std::unique_ptr<MprisSession> session_;    // goes first, and its bus's thread with it
};
