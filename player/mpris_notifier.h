#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "actions/player_feedback.h"

class MprisBus;

// Shows PlayerNews as desktop notifications (--notify) over the player link's own bus
// connection, never waiting for the server: its answer, the notification's id, is taken in
// on the loop when it arrives; a server that has not answered within NotifyTimeout fails it,
// so a hung one holds no notification back for ever. News of the same kind within
// HeldKeyPause of the last updates that notification in place (replaces_id), so a held
// volume key shows one bubble that follows it; after a pause, or for another kind, a new one
// starts. News that would update a notification whose id has not come yet waits for it, the
// newest replacing any already waiting, and goes out as soon as the id is in, or as a new
// notification when that call failed (a slow server times out), so the last state wins.
//
// Without a notification server (the call fails) that is said once in the lcPlayer log, and
// news is still sent, so a server started later shows it. Used on the loop's thread.
class MprisNotifier : public PlayerFeedback {
  public:
    using Clock = std::chrono::steady_clock;
    // Longer than the gap between a held key's repeats, shorter than a deliberate pause.
    static constexpr std::chrono::milliseconds HeldKeyPause{1500};
    static constexpr std::chrono::seconds NotifyTimeout{5};

    struct Shown {
        PlayerNews::Kind kind;
        Clock::time_point at;
    };
    // Whether news coming at now updates the notification last shown instead of starting one.
    static bool Continues(const std::optional<Shown>& last, PlayerNews::Kind kind,
                          Clock::time_point now, Clock::duration pause = HeldKeyPause);

    // Only tests, which must not depend on the machine's speed, pass another pause.
    explicit MprisNotifier(Clock::duration pause = HeldKeyPause) : pause_(pause) {}

    // The bus to send on, or null while there is none (news is then dropped). A new bus
    // starts afresh: the calls open on the old one went with it.
    void Use(MprisBus* bus);
    void Show(const PlayerNews& news) override;
    // Nothing sent is unanswered and no news waits.
    bool Idle() const { return !answerDue_ && !waiting_; }

  private:
    void Send(const PlayerNews& news, std::uint32_t replacesId);
    void Answered(std::uint64_t sent, const std::string& error, std::uint32_t id);

    Clock::duration pause_;
    MprisBus* bus_ = nullptr;
    std::optional<Shown> last_;
    std::uint64_t sent_ = 0;  // Notify calls so far; an answer to an earlier one is stale
    bool answerDue_ = false;  // the last call has not been answered
    std::uint32_t id_ = 0;    // the server's id of the notification shown last; 0: none
    std::optional<PlayerNews> waiting_;
    bool saidNoServer_ = false;
};
