// The player link's calls to a player, and what it tells of them.
#include <algorithm>
#include <utility>

#include "log/untrusted_text.h"
#include "player/mpris_link_policy.h"
#include "player/mpris_player_link.h"
#include "player/mpris_player_proxy.h"
#include "player/player_log.h"
#include "player/volume_step.h"

bool MprisLinkPolicy::MoveRemote(const std::string& from, int step) {
    const std::vector<MprisCandidate> candidates = cache_.Candidates(bus_->Names());
    const std::string to = StepMprisPlayer(candidates, filter_, from, step);
    if (to.empty()) {
        return false;  // the choice has said that no player fits
    }
    pinned_ = to;
    const auto player = std::find_if(candidates.begin(), candidates.end(),
                                     [&](const MprisCandidate& c) { return c.busName == to; });
    QUORVEL_INFO(lcPlayer) << (to == from ? "the remote stays on " : "the remote is on ")
                           << DescribedMprisPlayer(*player);
    report_.Assume("commanding " + UntrustedText(to));
    Tell(PlayerNews::Kind::Player, to,
         to == from ? "The remote stays on this player" : "The remote is on this player");
    told_ = to;
    return true;
}

void MprisLinkPolicy::Tell(PlayerNews::Kind kind, const std::string& busName, std::string text) {
    if (!notifier_) {
        return;
    }
    const MprisPlayerCache::Player* found = cache_.Find(busName);
    const std::string player = found != nullptr && !found->identity.empty()
                                   ? found->identity
                                   : busName.substr(std::string_view(MprisBusPrefix).size());
    notifier_->Show(PlayerNews{kind, UntrustedText(player, 100), std::move(text)});
}

void MprisLinkPolicy::Report(std::string line, bool warning) {
    report_.Say(std::move(line), warning);
}

void MprisLinkPolicy::Command(const std::string& busName, const PlayerRequest& request,
                              Deadline until, std::uint64_t press) {
    lastCommanded_ = busName;
    switch (request.action) {
        case PlayerAction::VolumeUp:
        case PlayerAction::VolumeDown: {
            const double step = request.action == PlayerAction::VolumeUp
                                    ? MprisPlayerLink::VolumeStep
                                    : -MprisPlayerLink::VolumeStep;
            ChangeVolume(
                busName, [step](double volume) { return SteppedVolume(volume, step); },
                PlayerNews::Kind::Volume, until, press);
            return;
        }
        case PlayerAction::Mute:
            ChangeVolume(
                busName,
                [this, busName](double volume) {
                    if (volume > 0) {
                        mutedFrom_[busName] = volume;
                        return 0.0;
                    }
                    const auto muted = mutedFrom_.find(busName);
                    return muted == mutedFrom_.end() ? volume : muted->second;
                },
                PlayerNews::Kind::Mute, until, press);
            return;
        default: {
            const char* member = MprisPlayerProxy::Member(request.action);
            if (member == nullptr) {
                Outcome(press);  // an action MPRIS has no call for: said as unsupported
                return;
            }
            // Answered or not, the next key for this player waits for this call first.
            busy_[busName] = until;
            MprisPlayerProxy(*bus_, busName)
                .Send(request,
                      Reply(
                          busName, member, [this, busName](bool) { busy_.erase(busName); }, press));
        }
    }
}

MprisBus::Done MprisLinkPolicy::Reply(const std::string& busName, std::string what,
                                      std::function<void(bool ok)> then, std::uint64_t press) {
    return [this, busName, what = std::move(what), then = std::move(then),
            press](const std::string& error) {
        cache_.Heard(busName);
        std::string failed;
        if (!error.empty()) {
            failed = (what.empty() ? std::string("a call") : what) + " on " +
                     UntrustedText(busName) + " failed: " + UntrustedText(error);
            if (!what.empty()) {
                QUORVEL_WARNING(lcPlayer) << failed;
            }
        }
        if (then) {
            then(error.empty());
        }
        Outcome(press, failed);
        Advance();
    };
}

MprisBus::Read MprisLinkPolicy::Learning(const std::string& busName, std::string what, bool recent,
                                         bool known, std::function<void(bool ok)> then) {
    return [this, busName, recent, known, then = std::move(then),
            done = Reply(busName, std::move(what))](
               const std::string& error, const MprisProperties& properties, const std::string&) {
        cache_.Learn(busName, properties, recent);
        MprisPlayerCache::Player* player = cache_.Find(busName);
        if (known && player != nullptr) {
            player->known = true;
        }
        if (then) {
            then(error.empty());
        }
        done(error);
    };
}
