#include "player/media_session_player_link.h"

#include <algorithm>
#include <utility>

#include "log/untrusted_text.h"
#include "player/audio_session_volume.h"
#include "player/player_log.h"
#include "player/volume_step.h"

namespace {

// How often a call under way is looked at; a silent session's, less often.
constexpr std::chrono::milliseconds PollEvery{10};
constexpr std::chrono::milliseconds SilentPollEvery{250};
// Keys kept while the manager is asked for, or held behind one session's call.
constexpr std::size_t MaxWaiting = 16;

}  // namespace

MediaSessionPlayerLink::MediaSessionPlayerLink(PlayerFeedback* feedback,
                                               std::unique_ptr<AppVolume> volume)
    : feedback_(feedback),
      volume_(volume ? std::move(volume) : std::make_unique<AudioSessionVolume>()) {}

MediaSessionPlayerLink::~MediaSessionPlayerLink() = default;

void MediaSessionPlayerLink::Attach(EventLoop& loop) {
    timer_ = loop.MakeTimer([this] { Collect(); });
    std::string why;
    switch (manager_.Request(why)) {
        case MediaSessionManager::Readiness::Missing:
            FallBack(why);
            return;
        case MediaSessionManager::Readiness::Ready:
            mode_ = Mode::Sessions;
            QUORVEL_INFO(lcPlayer) << "commanding the system's media sessions";
            return;
        case MediaSessionManager::Readiness::Requesting:
            mode_ = Mode::Requesting;
            requested_ = EventLoop::Clock::now();
            timer_->Set(requested_ + PollEvery);
            return;
    }
}

PlayerChoice MediaSessionPlayerLink::Choose() {
    if (mode_ == Mode::Keys) {
        return keys_.Choose();
    }
    if (mode_ != Mode::Sessions) {
        return {};
    }
    return PlayerChoice{.made = true, .player = Chosen(Look())};
}

std::vector<std::string> MediaSessionPlayerLink::PlayerNames(const PlayerChoice& choice) {
    if (mode_ == Mode::Keys) {
        return keys_.PlayerNames(choice);
    }
    return choice.player.empty() ? std::vector<std::string>{}
                                 : std::vector<std::string>{choice.player};
}

void MediaSessionPlayerLink::TellOutcomes(PressOutcome* outcomes) {
    PlayerLink::TellOutcomes(outcomes);
    keys_.TellOutcomes(outcomes);
}

void MediaSessionPlayerLink::Announce(const PlayerNews& news) {
    if (feedback_ != nullptr) {
        feedback_->Show(news);
    }
}

void MediaSessionPlayerLink::Perform(const PlayerRequest& request, const PlayerChoice& choice) {
    if (mode_ == Mode::Keys) {
        keys_.Perform(request, choice);
        return;
    }
    if (mode_ != Mode::Sessions) {
        if (early_.size() < MaxWaiting) {
            early_.push_back(request);
        }
        return;
    }
    const std::vector<MediaSessionCandidate> sessions = Look();
    std::string appId = choice.made ? choice.player : Chosen(sessions);
    std::string whyNone = "no media session: no player shows in the system's media controls now";
    if (!appId.empty() && std::none_of(sessions.begin(), sessions.end(),
                                       [&](const auto& s) { return s.appId == appId; })) {
        whyNone = UntrustedText(appId) + " went away before its key acted";
        Report(whyNone);
        appId.clear();
    }
    switch (request.action) {
        case PlayerAction::NextPlayer:
        case PlayerAction::PreviousPlayer:
            MoveRemote(sessions, appId, request.action == PlayerAction::NextPlayer ? 1 : -1);
            return;
        case PlayerAction::Raise:
            unsupported_.Say(request);
            return;
        case PlayerAction::Run:
        case PlayerAction::Mode:
            return;  // the cycle's own
        default:
            break;
    }
    if (appId.empty()) {
        TellFailed(choice, whyNone);
        return;
    }
    lastCommanded_ = appId;
    TellMoved(appId);
    if (request.action == PlayerAction::VolumeUp || request.action == PlayerAction::VolumeDown ||
        request.action == PlayerAction::Mute) {
        ChangeVolume(appId, request, choice);
    } else {
        Command(sessions, appId, request, choice);
    }
}

std::vector<MediaSessionCandidate> MediaSessionPlayerLink::Look() {
    std::vector<MediaSessionCandidate> sessions = manager_.List();
    std::map<std::string, bool> playing;
    for (const MediaSessionCandidate& s : sessions) {
        playing[s.appId] = playing[s.appId] || s.playing;
    }
    // What left, but for a call still to collect, is forgotten. A newcomer playing counts as
    // one that started, but for those there at the first look.
    std::erase_if(apps_, [&](const auto& entry) {
        return !playing.contains(entry.first) && !entry.second.call;
    });
    for (const auto& [appId, now] : playing) {
        const auto [entry, added] = apps_.try_emplace(appId);
        App& app = entry->second;
        if (now && (added ? looked_ : !app.playing)) {
            app.becamePlaying = ++playCount_;
        }
        app.playing = now;
    }
    looked_ = true;
    if (!pinned_.empty() && !playing.contains(pinned_)) {
        QUORVEL_INFO(lcPlayer) << UntrustedText(pinned_)
                               << " has no media session now; the remote is free again";
        pinned_.clear();
    }
    for (MediaSessionCandidate& s : sessions) {
        const App& app = apps_.at(s.appId);
        s.answers = !app.silent;
        s.becamePlaying = app.becamePlaying;
    }
    return sessions;
}

std::string MediaSessionPlayerLink::Chosen(const std::vector<MediaSessionCandidate>& sessions) {
    const std::optional<std::size_t> index = ChooseMediaSession(sessions, lastCommanded_, pinned_);
    if (!index) {
        Report("no media session: no player shows in the system's media controls now");
        return {};
    }
    const MediaSessionCandidate& chosen = sessions[*index];
    if (!chosen.answers) {
        Report(UntrustedText(chosen.appId) + " does not answer; keys go nowhere until it does",
               true);
    } else {
        Report("commanding " + UntrustedText(chosen.appId));
    }
    return chosen.appId;
}

void MediaSessionPlayerLink::Command(const std::vector<MediaSessionCandidate>& sessions,
                                     const std::string& appId, const PlayerRequest& request,
                                     const PlayerChoice& choice) {
    App& app = apps_[appId];
    if (app.silent) {
        Report(UntrustedText(appId) + " does not answer; keys go nowhere until it does", true);
        TellFailed(choice, report_.Last());
    } else if (app.call) {
        if (app.held.size() < MaxWaiting) {
            app.held.push_back(request);
        }
    } else if (Start(sessions, appId, request)) {
        TellReached(choice);
    } else {
        TellFailed(choice, std::string(ActionName(request.action)) + " on " + UntrustedText(appId) +
                               " failed");
    }
}

bool MediaSessionPlayerLink::Start(const std::vector<MediaSessionCandidate>& sessions,
                                   const std::string& appId, const PlayerRequest& request) {
    const std::optional<std::size_t> index =
        ChooseMediaSession(sessions, lastCommanded_, pinned_, appId);
    std::string why;
    std::optional<MediaSessionCall> call =
        index ? manager_.Start(*index, request, why) : std::nullopt;
    if (!call) {
        if (!why.empty()) {
            QUORVEL_WARNING(lcPlayer) << ActionName(request.action) << " on "
                                      << UntrustedText(appId) << " failed: " << why;
        }
        return false;
    }
    App& app = apps_[appId];
    app.call = std::move(call);
    app.calling = ActionName(request.action);
    app.since = EventLoop::Clock::now();
    timer_->Set(app.since + PollEvery);  // Collect sets it again for every call under way
    return true;
}

void MediaSessionPlayerLink::Collect() {
    const TimePoint now = EventLoop::Clock::now();
    if (mode_ == Mode::Requesting) {
        CollectManager(now);
        return;
    }
    // Ending a call may start the next, which looks at the sessions again: by name.
    std::vector<std::string> calling;
    for (const auto& [appId, app] : apps_) {
        if (app.call) {
            calling.push_back(appId);
        }
    }
    std::optional<TimePoint> next;
    for (const std::string& appId : calling) {
        if (!Ended(appId, now)) {
            const TimePoint at = now + (apps_.at(appId).silent ? SilentPollEvery : PollEvery);
            next = next ? std::min(*next, at) : at;
        }
    }
    if (next) {
        timer_->Set(*next);
    }
}

void MediaSessionPlayerLink::CollectManager(TimePoint now) {
    std::string why;
    switch (manager_.Poll(why)) {
        case MediaSessionManager::Readiness::Requesting:
            if (now - requested_ < ReplyTimeout) {
                timer_->Set(now + PollEvery);
                return;
            }
            FallBack("the system did not give its session manager within a second");
            return;
        case MediaSessionManager::Readiness::Missing:
            FallBack(why);
            return;
        case MediaSessionManager::Readiness::Ready:
            break;
    }
    mode_ = Mode::Sessions;
    QUORVEL_INFO(lcPlayer) << "commanding the system's media sessions";
    for (const PlayerRequest& request : std::exchange(early_, {})) {
        Perform(request, PlayerChoice{});
    }
}

bool MediaSessionPlayerLink::Ended(const std::string& appId, TimePoint now) {
    App& app = apps_.at(appId);
    HRESULT error = S_OK;
    const MediaSessionCall::State state = app.call->Poll(error);
    if (state == MediaSessionCall::State::Running) {
        if (!app.silent && now - app.since >= ReplyTimeout) {
            app.silent = true;
            app.held.clear();
            Report(UntrustedText(appId) + " did not answer " + app.calling +
                       " within a second; keys go nowhere until it does",
                   true);
        }
        return false;
    }
    if (state == MediaSessionCall::State::Refused) {
        QUORVEL_INFO(lcPlayer) << UntrustedText(appId) << " refused " << app.calling;
    } else if (state == MediaSessionCall::State::Failed) {
        QUORVEL_WARNING(lcPlayer) << app.calling << " on " << UntrustedText(appId)
                                  << " failed: " << MediaSessionManager::Describe(error);
    }
    app.call.reset();
    if (app.silent) {
        app.silent = false;
        QUORVEL_INFO(lcPlayer) << UntrustedText(appId) << " answers again";
    }
    std::deque<PlayerRequest> held = std::exchange(app.held, {});
    while (!held.empty()) {
        const PlayerRequest request = held.front();
        held.pop_front();
        if (Start(Look(), appId, request)) {
            apps_.at(appId).held = std::move(held);
            return false;
        }
    }
    return true;
}

void MediaSessionPlayerLink::ChangeVolume(const std::string& appId, const PlayerRequest& request,
                                          const PlayerChoice& choice) {
    const std::optional<AppVolume::Level> level = volume_->Read(appId);
    if (!level) {
        if (noAudioSaid_.insert(appId).second) {
            QUORVEL_WARNING(lcPlayer) << UntrustedText(appId)
                                      << " has no audio session of its own that Quorvel can find; "
                                         "its volume keys are pressed as media keys instead";
        }
        keys_.Perform(request, choice);
        return;
    }
    AppVolume::Level wanted = *level;
    const bool mute = request.action == PlayerAction::Mute;
    if (mute) {
        wanted.muted = !level->muted;
    } else {
        wanted.volume = SteppedVolume(
            level->volume, request.action == PlayerAction::VolumeUp ? VolumeStep : -VolumeStep);
    }
    // At a limit the level is told all the same, or the key would seem dead.
    if (wanted != *level && !volume_->Write(appId, wanted)) {
        QUORVEL_WARNING(lcPlayer) << "the volume of " << UntrustedText(appId)
                                  << " could not be set";
        TellFailed(choice, "the volume of " + UntrustedText(appId) + " could not be set");
        return;
    }
    TellReached(choice);
    const PlayerNews::Kind kind = mute ? PlayerNews::Kind::Mute : PlayerNews::Kind::Volume;
    Tell(kind, appId, VolumeNewsText(kind, mute && wanted.muted ? 0.0 : wanted.volume));
}

void MediaSessionPlayerLink::MoveRemote(const std::vector<MediaSessionCandidate>& sessions,
                                        const std::string& from, int step) {
    const std::string to = StepMediaSession(sessions, from, step);
    if (to.empty()) {
        return;  // Chosen has said that there is none
    }
    pinned_ = to;
    QUORVEL_INFO(lcPlayer) << (to == from ? "the remote stays on " : "the remote is on ")
                           << UntrustedText(to);
    report_.Assume("commanding " + UntrustedText(to));
    Tell(PlayerNews::Kind::Player, to,
         to == from ? "The remote stays on this player" : "The remote is on this player");
    told_ = to;
}

void MediaSessionPlayerLink::FallBack(const std::string& why) {
    mode_ = Mode::Keys;
    QUORVEL_WARNING(lcPlayer) << "the system's media sessions cannot be used (" << why
                              << "); the media keys are pressed instead, as with --player keys";
    for (const PlayerRequest& request : std::exchange(early_, {})) {
        keys_.Perform(request);
    }
}

void MediaSessionPlayerLink::Report(std::string line, bool warning) {
    report_.Say(std::move(line), warning);
}

void MediaSessionPlayerLink::Tell(PlayerNews::Kind kind, const std::string& appId,
                                  std::string text) {
    if (feedback_ != nullptr) {
        feedback_->Show(PlayerNews{kind, UntrustedText(appId, 100), std::move(text)});
    }
}

void MediaSessionPlayerLink::TellMoved(const std::string& appId) {
    // The remote moved by itself (another session started playing, or left): told once.
    if (appId != told_) {
        if (!told_.empty()) {
            Tell(PlayerNews::Kind::Player, appId, "The remote is on this player");
        }
        told_ = appId;
    }
}
