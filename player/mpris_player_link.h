#pragma once

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <string>
#include <vector>

#include "player/mpris_player_choice.h"
#include "player/player_link.h"

class QDBusMessage;

// Commands an MPRIS media player over D-Bus: PlayPause, Previous, Next and the Volume
// property. The player is chosen by ChooseMprisPlayer and looked up again whenever none
// is held or the held one has left the bus, so a player started or restarted later is
// still reached. A command's calls (two for a volume step: read, then write) share one
// ReplyTimeoutMs bound, and a lookup asks all players at once under one bound of its own,
// so a hung player delays the remote but never freezes it. Failures go to the lcPlayer
// log only; without a bus that is a single line for the whole run.
//
// Threads: the link holds no QObject, only a QDBusConnection (itself thread-safe) and
// plain values, and it waits for replies without an event loop. It may therefore be
// built on one thread and used on another, including a thread that never runs an event
// loop (the receiver thread). It has no locking of its own: one thread at a time.
class MprisPlayerLink : public PlayerLink {
  public:
    static constexpr int ReplyTimeoutMs = 1000;
    static constexpr double VolumeStep = 0.05;

    // wantedName is the --player NAME, empty for any player. Without a bus the link
    // finds no player and says so once in the log. Only tests that must not fail on a
    // slow machine pass a longer replyTimeoutMs.
    explicit MprisPlayerLink(std::string wantedName = {},
                             QDBusConnection connection = QDBusConnection::sessionBus(),
                             int replyTimeoutMs = ReplyTimeoutMs);

    std::string FindPlayerWindow() override;
    void SendPlayerCommand(int id) override;

  private:
    enum class Delivery { Done, Failed, PlayerGone };

    bool BusUsable();
    std::vector<MprisCandidate> ListCandidates();
    Delivery Deliver(int id);
    Delivery CallPlayerMethod(const char* method, const QDeadlineTimer& deadline);
    Delivery StepVolume(double step, const QDeadlineTimer& deadline);
    QDBusMessage CallPlayer(const QDBusMessage& message, const QDeadlineTimer& deadline);
    Delivery Judge(const QDBusMessage& reply, const char* what);

    std::string wanted_;
    QDBusConnection connection_;
    int replyTimeoutMs_;
    std::string player_;  // bus name of the player held, empty when none
    bool noBusReported_ = false;
    bool noPlayerReported_ = false;
};
