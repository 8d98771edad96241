#pragma once

#include <chrono>
#include <cstddef>
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
// already knows of them: each player's PlaybackStatus, Volume and Identity are read as it
// appears and kept current from its PropertiesChanged signals. So a command is one call,
// however many players run, and a volume step one Set from the volume as last heard (asked
// only when the player never said it).
//
// Everything runs on the receiver's loop (Attach): a command is sent and the loop goes on,
// and the answer is collected when it comes. Time: each key has one deadline,
// replyTimeoutMs from its press, which choosing and sending share; what the link must know
// first (the bus's names, a player that just appeared) is waited for at most three tenths
// of it. A player that lets a call go unanswered until its key's deadline is not waited for
// again: it is passed over for a player that answers, and while it is the one chosen, keys
// go nowhere rather than queue for it (a key acted on late, all at once with others, would
// surprise more than a key lost), until one of its replies comes in. Keys for a player whose
// call is unanswered wait for that answer, so a frozen player costs one wait, not one per
// key; one that waited longer than StaleAfter goes nowhere, so a slow player never draws a
// held key out. A bus that lets a key's wait for its names pass is not waited for again
// until it lists them.
//
// With notify (--notify), what a key did is shown as a desktop notification over the same
// connection, after the player's reply: the remote moving to another player, with that
// player's Identity, and a volume step or mute with the volume it left, in percent.
//
// The bus: the session bus as sd-bus finds it; no bus is ever launched. Joining never waits;
// without a bus, or when it is lost, that is said once in the lcPlayer log; the bus is joined
// again at the next command, and losing it never ends the program. Failures go to the log.
//
// Threads: the link is made on any thread, then used on its loop's thread only (Attach
// first); Interrupt from any thread.
class MprisPlayerLink : public PlayerLink {
  public:
    static constexpr int ReplyTimeoutMs = 1000;
    static constexpr double VolumeStep = 0.05;
    // The longest a press waits for the bus to be joined.
    static constexpr std::chrono::milliseconds JoinTimeout{1000};
    // How long a key may wait behind its player's unanswered call and still act.
    static constexpr std::chrono::milliseconds StaleAfter{400};
    // Keys waiting at most; more go nowhere.
    static constexpr std::size_t MostWaiting = 64;

    // filter holds --player's list and --ignore-player's names; empty for any player. Only
    // tests that must not fail on a slow machine pass a longer replyTimeoutMs.
    explicit MprisPlayerLink(MprisPlayerFilter filter = {}, int replyTimeoutMs = ReplyTimeoutMs,
                             bool notify = false);
    ~MprisPlayerLink() override;
    MprisPlayerLink(const MprisPlayerLink&) = delete;
    MprisPlayerLink& operator=(const MprisPlayerLink&) = delete;

    void Attach(EventLoop& loop) override;
    // The player a command would go to now; empty when none. Joins the bus if need be, and
    // waits on the loop for what it must know, as Choose.
    std::string ChosenPlayer();
    // No key waits to be sent, no call for its answer, no news for its notification.
    bool Idle() const;
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
    int replyTimeoutMs_;
    std::unique_ptr<MprisLinkPolicy> policy_;
};
