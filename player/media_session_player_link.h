#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "actions/player_feedback.h"
#include "actions/player_link.h"
#include "platform/event_loop.h"
#include "player/app_volume.h"
#include "player/choice_report.h"
#include "player/media_key_player_link.h"
#include "player/media_session_manager.h"
#include "player/unsupported_action.h"

// Commands the system's media sessions (--player session): the players that show in
// Windows' media overlay (Spotify, browsers, the Media Player app, mpv, MPC-HC...), whether
// in front or not, each by its app id (MediaSessionManager). Windows' own MPRIS, used as
// the MPRIS link uses the bus.
//
// The session is chosen at each key among those there now (ChooseMediaSession): where
// next-player or previous-player put the remote, else one playing, else the app commanded
// last, else the system's current one. Its app id (SourceAppUserModelId) is the name a key
// map's [player=GLOB] section matches. play-pause, play, pause, stop, next and previous are
// the session's Try…Async calls; a seek moves its timeline's position. Raise is said once
// as not possible.
//
// No call is waited for: each is started, and its result collected on the receiver's loop
// (Attach), polled. A session's calls go one at a time: a key's command waits, held, while
// that session has one under way. A session that leaves a call unanswered for
// ReplyTimeout is not waited for again: the commands held for it are dropped, it is passed
// over for a session that answers, and while it is the one chosen, keys for it go nowhere,
// until that call ends. So a hung player costs one wait, once.
//
// volume-up, volume-down and mute act on the app's own volume (AppVolume) in VolumeStep
// steps; where the app has no audio session that is said once and the volume key is
// pressed instead. With a feedback (--notify) the volume the app was left at is told, and
// the remote moving to another session.
//
// Where the system has no media sessions (Windows before 10 1809, Wine, a service without
// a desktop) that is said once, with why, and the link acts as --player keys does
// (MediaKeyPlayerLink); keys that came while the manager was asked for follow. Used on the
// receiver's thread only; nothing happens before Attach.
class MediaSessionPlayerLink : public PlayerLink {
  public:
    static constexpr std::chrono::milliseconds ReplyTimeout{1000};
    static constexpr double VolumeStep = 0.05;

    // feedback, when given, must outlive the link; volume null: the audio sessions'.
    explicit MediaSessionPlayerLink(PlayerFeedback* feedback = nullptr,
                                    std::unique_ptr<AppVolume> volume = nullptr);
    ~MediaSessionPlayerLink() override;
    MediaSessionPlayerLink(const MediaSessionPlayerLink&) = delete;
    MediaSessionPlayerLink& operator=(const MediaSessionPlayerLink&) = delete;

    void Attach(EventLoop& loop) override;
    // The session by its app id; once fallen back, the media keys' choice.
    PlayerChoice Choose() override;
    std::vector<std::string> PlayerNames(const PlayerChoice& choice) override;
    using PlayerLink::Perform;
    void Perform(const PlayerRequest& request, const PlayerChoice& choice) override;
    // Also for the actions it presses as media keys.
    void TellOutcomes(PressOutcome* outcomes) override;
    void Announce(const PlayerNews& news) override;

  private:
    using TimePoint = EventLoop::TimePoint;
    enum class Mode { Unattached, Requesting, Sessions, Keys };
    // What is known of one app's sessions.
    struct App {
        bool playing = false;
        std::uint64_t becamePlaying = 0;
        bool silent = false;  // a call went unanswered for ReplyTimeout, and still is
        std::optional<MediaSessionCall> call;  // the one under way
        std::string calling;                   // its action, for the log
        TimePoint since{};
        std::deque<PlayerRequest> held;  // commands waiting for it
    };

    // The sessions now, with what the link knows of each.
    std::vector<MediaSessionCandidate> Look();
    // The app the keys go to now; empty for none. Said when it changes.
    std::string Chosen(const std::vector<MediaSessionCandidate>& sessions);
    // choice's outcome is told: a call the system took counts as reached, what became of it
    // is in the log.
    void Command(const std::vector<MediaSessionCandidate>& sessions, const std::string& appId,
                 const PlayerRequest& request, const PlayerChoice& choice);
    // Starts request on appId's session among sessions (the manager's last list); whether a
    // call is under way now.
    bool Start(const std::vector<MediaSessionCandidate>& sessions, const std::string& appId,
               const PlayerRequest& request);
    // The timer: the manager's answer, then each call's.
    void Collect();
    void CollectManager(TimePoint now);
    // Whether appId's call has ended, with none under way now: its end said, and the next
    // command held started.
    bool Ended(const std::string& appId, TimePoint now);
    void ChangeVolume(const std::string& appId, const PlayerRequest& request,
                      const PlayerChoice& choice);
    void MoveRemote(const std::vector<MediaSessionCandidate>& sessions, const std::string& from,
                    int step);
    void FallBack(const std::string& why);
    void Report(std::string line, bool warning = false);
    void Tell(PlayerNews::Kind kind, const std::string& appId, std::string text);
    void TellMoved(const std::string& appId);

    MediaSessionManager manager_;  // first: its apartment outlasts every call below
    PlayerFeedback* feedback_;
    std::unique_ptr<AppVolume> volume_;
    MediaKeyPlayerLink keys_;
    UnsupportedAction unsupported_;
    Mode mode_ = Mode::Unattached;
    TimePoint requested_{};
    std::vector<PlayerRequest> early_;  // keys that came while the manager was asked for
    std::map<std::string, App> apps_;
    std::uint64_t playCount_ = 0;
    bool looked_ = false;  // the sessions have been looked at once
    std::string lastCommanded_;
    std::string pinned_;   // where next-player or previous-player put the remote
    std::string told_;     // the app the feedback last named, so a switch is told
    ChoiceReport report_;  // the last line about the choice, said once
    std::set<std::string> noAudioSaid_;
    std::unique_ptr<EventLoop::Timer> timer_;  // last: goes first
};
