#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "actions/player_action.h"
#include "actions/player_link.h"
#include "player/mpris_player_choice.h"

class MprisLinkPolicy;

// Commands an MPRIS media player over D-Bus: PlayPause, Play, Pause, Stop, Previous, Next,
// Seek, Raise, steps of the Volume property (SteppedVolume) and muting (Volume 0, and back
// to what it was at the next mute); next-player and previous-player move the remote between
// the players (StepMprisPlayer), where it stays until moved again or that player leaves.
//
// The player is chosen again at every key, by ChooseMprisPlayer, among the players on the
// bus at that moment (Choose; a command given no choice makes its own), from what the link
// already knows of them: each player's
// PlaybackStatus, Volume and Identity are read once when it appears and kept current from
// its PropertiesChanged signals, taken in as they arrive. So a command is one call, however
// many players run, and a volume step one Set from the volume as last heard (asked only
// when the player never said it); only the first command after a player appears waits for
// its answer too.
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
// connection, after the player's reply, so a key waits no longer for it: the remote moving
// to another player, with that player's Identity, and a volume step or mute with the
// volume it left, in percent.
//
// The bus: the session bus as sd-bus finds it; no bus is ever launched. Without a bus, or
// when it is lost, that is said once in the lcPlayer log; the bus is joined again at the
// next command, and losing it never ends the program. Failures go to the log only. Joining
// starts when the link is made and runs in the background, so a bus that never answers
// holds nothing up: a command waits for the join at most JoinTimeout, and is dropped when
// the bus has not answered by then.
//
// Threads: the link reads the bus on a thread of its own; Choose, PlayerNames, Perform and
// ChosenPlayer are called from one thread at a time, which may be another than the one that built
// the link and need run no event loop (the receiver thread); Interrupt from any thread.
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
    // The player by its bus name, as ChosenPlayer.
    PlayerChoice Choose() override;
    // The chosen player's bus name after "org.mpris.MediaPlayer2." and its Identity.
    std::vector<std::string> PlayerNames(const PlayerChoice& choice) override;
    using PlayerLink::Perform;
    // A choice whose player has left the bus since is a key that goes nowhere.
    void Perform(const PlayerRequest& request, const PlayerChoice& choice) override;
    void Interrupt() override;
    // Shown as a desktop notification with notify; else nothing.
    void Announce(const PlayerNews& news) override;

  private:
    std::unique_ptr<MprisLinkPolicy> policy_;
};
