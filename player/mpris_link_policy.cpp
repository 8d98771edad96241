#include "player/mpris_link_policy.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <utility>
#include <vector>

#include "log/untrusted_text.h"
#include "player/mpris_player_link.h"
#include "player/player_log.h"
#include "player/volume_step.h"

namespace {

int MakeInterruptFd() {
    const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    return fd;
}

}  // namespace

MprisLinkPolicy::MprisLinkPolicy(MprisPlayerFilter filter, int replyTimeoutMs, bool notify)
    : filter_(std::move(filter)),
      replyTimeout_(replyTimeoutMs),
      lookupTimeout_(replyTimeoutMs * 3 / 10),
      lock_{{}, {}, {false}, MakeInterruptFd()},
      notifier_(notify ? std::make_unique<MprisNotifier>() : nullptr),
      session_(std::make_unique<MprisSession>(
          replyTimeout_,
          MprisBus::Hooks{[this](const std::string& name, bool owned) {
                              cache_.Forget(name);
                              if (name == pinned_ && !owned) {
                                  pinned_.clear();
                                  QUORVEL_INFO(lcPlayer)
                                      << UntrustedText(name)
                                      << " left the bus; the remote is free again";
                              }
                          },
                          [this](const std::string& name, const MprisBus::Properties& changed,
                                 const std::vector<std::string>& invalidated) {
                              cache_.Changed(name, changed, invalidated);
                          }},
          [this](MprisBus* bus) { Joined(bus); }, lock_)) {}

MprisLinkPolicy::~MprisLinkPolicy() {
    // Its bus's thread polls the interruption until it is joined.
    session_.reset();
    ::close(lock_.interruptFd);
}

void MprisLinkPolicy::Interrupt() {
    lock_.interrupted = true;
    const std::uint64_t one = 1;
    // Fails only if the counter would overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(lock_.interruptFd, &one, sizeof one);
}

void MprisLinkPolicy::Joined(MprisBus* bus) {
    bus_ = bus;
    firstLook_ = true;
    if (!bus) {
        cache_.Clear();
    }
    if (notifier_) {
        notifier_->Use(bus);
    }
}

std::string MprisLinkPolicy::ChosenPlayer() {
    Lock lock(lock_.mutex);
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    if (!session_->Join(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                     MprisPlayerLink::JoinTimeout))) {
        return {};
    }
    try {
        return Choose(lock, deadline);
    } catch (const sdbus::Error& error) {
        session_->Lose(lock, error.getMessage());
        return {};
    }
}

std::vector<std::string> MprisLinkPolicy::PlayerNames(const std::string& busName) {
    if (busName.empty()) {
        return {};
    }
    Lock lock(lock_.mutex);
    std::vector<std::string> names{busName.substr(std::string_view(MprisBusPrefix).size())};
    if (const MprisPlayerCache::Player* found = cache_.Find(busName);
        found != nullptr && !found->identity.empty()) {
        names.push_back(found->identity);
    }
    return names;
}

void MprisLinkPolicy::Announce(const PlayerNews& news) {
    Lock lock(lock_.mutex);
    if (notifier_) {
        notifier_->Show(news);
    }
}

void MprisLinkPolicy::Perform(const PlayerRequest& request, const PlayerChoice& choice) {
    Lock lock(lock_.mutex);
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    if (!session_->Join(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                     MprisPlayerLink::JoinTimeout))) {
        return;
    }
    try {
        std::string chosen = choice.made ? choice.player : Choose(lock, deadline);
        if (!chosen.empty() && bus_->Names().count(chosen) == 0) {
            Report(UntrustedText(chosen) + " left the bus before its key's command was sent");
            chosen.clear();
        }
        if (request.action == PlayerAction::NextPlayer ||
            request.action == PlayerAction::PreviousPlayer) {
            MoveRemote(chosen, request.action == PlayerAction::NextPlayer ? 1 : -1);
        } else if (!chosen.empty() && !cache_[chosen].silent) {
            Command(lock, chosen, request, deadline);
            // The remote moved by itself (a player started playing, or left): told once.
            if (chosen != told_) {
                if (!told_.empty()) {
                    Tell(PlayerNews::Kind::Player, chosen, "The remote is on this player");
                }
                told_ = chosen;
            }
        }
    } catch (const sdbus::Error& error) {
        session_->Lose(lock, error.getMessage());
    }
}

std::string MprisLinkPolicy::Choose(Lock& lock, Deadline deadline) {
    const Deadline lookupDeadline =
        std::min(deadline, std::chrono::steady_clock::now() + lookupTimeout_);
    if (!bus_->LearnNames(lock, lookupDeadline)) {
        Report("the bus did not list its players in time", true);
        return {};
    }
    ReadNewPlayers(lock, lookupDeadline);

    const std::vector<MprisCandidate> candidates = cache_.Candidates(bus_->Names());
    const std::string chosen = ChooseMprisPlayer(candidates, filter_, lastCommanded_, pinned_);
    if (chosen.empty()) {
        Report(NoMprisPlayerLine(filter_, candidates));
    } else if (cache_[chosen].silent) {
        Report(UntrustedText(chosen) + " does not answer; keys go nowhere until it does", true);
    } else {
        Report("commanding " + UntrustedText(chosen));
    }
    return chosen;
}

void MprisLinkPolicy::ReadNewPlayers(Lock& lock, Deadline deadline) {
    const bool recent = !firstLook_;
    firstLook_ = false;
    // All asked at once, and waited for together.
    std::vector<std::pair<std::string, Replied>> calls;
    for (const std::string& name : bus_->Names()) {
        const MprisPlayerCache::Player& player = cache_[name];
        if (player.known || player.silent) {
            continue;
        }
        calls.emplace_back(name, std::make_shared<bool>(false));
        bus_->ReadPlayer(name, Learning(name, {}, calls.back().second, recent, true));
        calls.emplace_back(name, std::make_shared<bool>(false));
        bus_->Player(name).ReadIdentity(Learning(name, {}, calls.back().second, recent, false));
    }
    if (calls.empty()) {
        return;
    }
    // A player that leaves meanwhile takes its unanswered calls with it.
    bus_->RunUntil(lock, deadline, [&] {
        return std::all_of(calls.begin(), calls.end(), [&](const auto& c) {
            return *c.second || bus_->Names().count(c.first) == 0;
        });
    });
    for (const auto& [name, replied] : calls) {
        if (!*replied && deadline <= std::chrono::steady_clock::now()) {
            cache_.Silence(name);
        }
    }
}

void MprisLinkPolicy::MoveRemote(const std::string& from, int step) {
    const std::vector<MprisCandidate> candidates = cache_.Candidates(bus_->Names());
    const std::string to = StepMprisPlayer(candidates, filter_, from, step);
    if (to.empty()) {
        return;  // Choose has said that no player fits
    }
    pinned_ = to;
    const auto player = std::find_if(candidates.begin(), candidates.end(),
                                     [&](const MprisCandidate& c) { return c.busName == to; });
    QUORVEL_INFO(lcPlayer) << (to == from ? "the remote stays on " : "the remote is on ")
                           << DescribedMprisPlayer(*player);
    lastReport_ = "commanding " + UntrustedText(to);
    Tell(PlayerNews::Kind::Player, to,
         to == from ? "The remote stays on this player" : "The remote is on this player");
    told_ = to;
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
    if (line == lastReport_) {
        return;
    }
    lastReport_ = std::move(line);
    if (warning) {
        QUORVEL_WARNING(lcPlayer) << lastReport_;
    } else {
        QUORVEL_INFO(lcPlayer) << lastReport_;
    }
}

void MprisLinkPolicy::Command(Lock& lock, const std::string& busName, const PlayerRequest& request,
                              Deadline deadline) {
    lastCommanded_ = busName;
    switch (request.action) {
        case PlayerAction::VolumeUp:
        case PlayerAction::VolumeDown: {
            const double step = request.action == PlayerAction::VolumeUp
                                    ? MprisPlayerLink::VolumeStep
                                    : -MprisPlayerLink::VolumeStep;
            ChangeVolume(
                lock, busName, [step](double volume) { return SteppedVolume(volume, step); },
                PlayerNews::Kind::Volume, deadline);
            return;
        }
        case PlayerAction::Mute:
            ChangeVolume(
                lock, busName,
                [this, busName](double volume) {
                    if (volume > 0) {
                        mutedFrom_[busName] = volume;
                        return 0.0;
                    }
                    const auto muted = mutedFrom_.find(busName);
                    return muted == mutedFrom_.end() ? volume : muted->second;
                },
                PlayerNews::Kind::Mute, deadline);
            return;
        default: {
            const char* member = MprisPlayerProxy::Member(request.action);
            auto replied = std::make_shared<bool>(false);
            if (member != nullptr &&
                bus_->Player(busName).Send(request, Reply(busName, member, replied))) {
                Await(lock, busName, replied, deadline);
            }
        }
    }
}

MprisPlayerProxy::Done MprisLinkPolicy::Reply(const std::string& busName, std::string what,
                                              Replied replied, std::function<void()> failed) {
    return [this, busName, what = std::move(what), replied = std::move(replied),
            failed = std::move(failed)](const std::string& error) {
        *replied = true;
        cache_.Heard(busName);
        if (error.empty()) {
            return;
        }
        if (failed) {
            failed();
        }
        if (!what.empty()) {
            QUORVEL_WARNING(lcPlayer)
                << what << " on " << UntrustedText(busName) << " failed: " << UntrustedText(error);
        }
    };
}

MprisPlayerProxy::Read MprisLinkPolicy::Learning(const std::string& busName, std::string what,
                                                 Replied replied, bool recent, bool known) {
    return
        [this, busName, recent, known, done = Reply(busName, std::move(what), replied)](
            const std::string& error, const MprisBus::Properties& properties, const std::string&) {
            done(error);
            cache_.Learn(busName, properties, recent);
            MprisPlayerCache::Player* player = cache_.Find(busName);
            if (known && player != nullptr) {
                player->known = true;
            }
        };
}

bool MprisLinkPolicy::Await(Lock& lock, const std::string& busName, const Replied& replied,
                            Deadline deadline) {
    // A player that leaves the bus meanwhile takes its unanswered call with it.
    const auto gone = [&] { return bus_->Names().count(busName) == 0; };
    if (bus_->RunUntil(lock, deadline, [&] { return *replied || gone(); })) {
        return *replied;
    }
    if (deadline > std::chrono::steady_clock::now()) {
        return false;  // interrupted: no fault of the player's
    }
    cache_.Silence(busName);
    return false;
}
