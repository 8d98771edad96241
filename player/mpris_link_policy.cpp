#include "player/mpris_link_policy.h"

#include <algorithm>
#include <utility>

#include "log/untrusted_text.h"
#include "player/mpris_player_link.h"
#include "player/mpris_player_proxy.h"
#include "player/player_log.h"

namespace {

constexpr const char* NoBusText = "no D-Bus session bus: the key reached no player";

}  // namespace

MprisLinkPolicy::MprisLinkPolicy(MprisPlayerFilter filter, int replyTimeoutMs, bool notify)
    : filter_(std::move(filter)),
      replyTimeout_(replyTimeoutMs),
      lookupTimeout_(replyTimeoutMs * 3 / 10),
      notifier_(notify ? std::make_unique<MprisNotifier>() : nullptr),
      session_(std::make_unique<MprisSession>(
          MprisBus::Hooks{
              [this](const std::string& name, bool owned) { OwnerChanged(name, owned); },
              [this](const std::string& name, const MprisProperties& changed,
                     const std::vector<std::string>& invalidated) {
                  cache_.Changed(name, changed, invalidated);
              },
              [this] {
                  listed_ = true;
                  busSilent_ = false;
                  Advance();
              },
              {}},
          [this](MprisBus* bus) { Joined(bus); })) {}

MprisLinkPolicy::~MprisLinkPolicy() {
    // The bus's callbacks reach this policy: it goes first.
    session_.reset();
}

void MprisLinkPolicy::Attach(EventLoop& loop) {
    timer_ = loop.MakeTimer([this] { Expire(); });
    loop_ = &loop;
    session_->Attach(loop);
}

void MprisLinkPolicy::Interrupt() {
    interrupted_ = true;
    if (EventLoop* loop = loop_.load()) {
        loop->Wake();
    }
}

void MprisLinkPolicy::Joined(MprisBus* bus) {
    bus_ = bus;
    listed_ = false;
    busSilent_ = false;
    cache_.Clear();
    reading_.clear();
    busy_.clear();
    if (notifier_) {
        notifier_->Use(bus);
    }
}

void MprisLinkPolicy::OwnerChanged(const std::string& name, bool owned) {
    // A player that leaves takes its unanswered calls with it.
    cache_.Forget(name);
    reading_.erase(name);
    busy_.erase(name);
    if (owned) {
        // Read as it comes, so a press finds it known: one that came after the first look
        // started playing lately, if it plays.
        ReadPlayer(name, listed_);
    } else if (name == pinned_) {
        pinned_.clear();
        QUORVEL_INFO(lcPlayer) << UntrustedText(name) << " left the bus; the remote is free again";
    }
    Advance();
}

void MprisLinkPolicy::ReadPlayer(const std::string& name, bool recent) {
    cache_[name];  // known from now on; what it says is learnt as it comes
    reading_[name] = 2;
    const auto read = [this, name](bool) {
        if (const auto found = reading_.find(name);
            found != reading_.end() && --found->second == 0) {
            reading_.erase(found);
        }
    };
    MprisPlayerProxy player(*bus_, name);
    player.ReadPlayer(Learning(name, {}, recent, true, read));
    player.ReadIdentity(Learning(name, {}, recent, false, read));
}

bool MprisLinkPolicy::Known() const {
    return bus_ != nullptr && bus_->NamesKnown() && reading_.empty();
}

MprisLinkPolicy::Deadline MprisLinkPolicy::LookupUntil(Deadline pressed, Deadline until) const {
    return std::min(until, pressed + lookupTimeout_);
}

std::string MprisLinkPolicy::Choose(Deadline deadline) {
    if (bus_ != nullptr) {
        bus_->TakeIn(TakenInAtAKey);
    }
    if (session_->Join() == nullptr) {
        return {};
    }
    const Deadline lookup = LookupUntil(Clock::now(), deadline);
    EventLoop* loop = loop_;
    // The loop turns meanwhile: the sources read on, and their keys wait their turn.
    while (!Known() && !busSilent_ && bus_ != nullptr && !interrupted_ && Clock::now() < lookup) {
        loop->RunOnce(lookup);
    }
    if (!Known() && interrupted_) {
        return {};  // stopping: no choice from players half read
    }
    if (!Known() && Clock::now() >= lookup) {
        GiveUp();
    }
    return ChooseNow();
}

void MprisLinkPolicy::GiveUp() {
    if (bus_ == nullptr) {
        return;
    }
    if (!bus_->NamesKnown()) {
        busSilent_ = true;
        Report("the bus did not list its players in time", true);
        return;
    }
    for (const auto& [name, due] : reading_) {
        cache_.Silence(name);
    }
    reading_.clear();
}

std::string MprisLinkPolicy::ChooseNow() {
    if (bus_ == nullptr || !bus_->NamesKnown()) {
        return {};
    }
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

void MprisLinkPolicy::Outcome(std::uint64_t press, const std::string& why) {
    if (outcomes_ == nullptr || press == 0) {
        return;
    }
    if (why.empty()) {
        outcomes_->Reached(press);
    } else {
        outcomes_->Failed(press, why);
    }
}

std::vector<std::string> MprisLinkPolicy::PlayerNames(const std::string& busName) {
    if (busName.empty()) {
        return {};
    }
    std::vector<std::string> names{busName.substr(std::string_view(MprisBusPrefix).size())};
    if (const MprisPlayerCache::Player* found = cache_.Find(busName);
        found != nullptr && !found->identity.empty()) {
        names.push_back(found->identity);
    }
    return names;
}

void MprisLinkPolicy::Announce(const PlayerNews& news) {
    if (notifier_) {
        notifier_->Show(news);
    }
}

void MprisLinkPolicy::Perform(const PlayerRequest& request, const PlayerChoice& choice) {
    if (loop_.load() == nullptr) {
        return;  // not attached: the link has no loop to send on
    }
    const Deadline now = Clock::now();
    const Deadline until =
        choice.made && choice.until != Deadline{} ? choice.until : now + replyTimeout_;
    if (bus_ != nullptr && !choice.made) {
        bus_->TakeIn(TakenInAtAKey);
    }
    if (!choice.made && session_->Join() == nullptr) {
        Outcome(choice.press, NoBusText);
        return;
    }
    if (pending_.size() >= MprisPlayerLink::MostWaiting) {
        Report("keys come faster than the player answers; some go nowhere", true);
        Outcome(choice.press, report_.Last());
        return;
    }
    pending_.push_back({request, choice, now, until});
    Advance();
}

void MprisLinkPolicy::Advance() {
    if (advancing_) {
        again_ = true;  // a call that failed at once, told from inside a send
        return;
    }
    advancing_ = true;
    do {
        again_ = false;
        const Deadline now = Clock::now();
        while (!pending_.empty()) {
            Pending& key = pending_.front();
            std::string chosen = key.choice.player;
            if (now >= key.until) {
                // Its second is over: a key acted on late surprises.
                Outcome(key.choice.press, "the player did not answer in time");
                pending_.pop_front();
                continue;
            }
            if (!key.choice.made) {
                if (!Known()) {
                    if (!busSilent_ && bus_ != nullptr) {
                        break;  // waits for the players, at most until its lookup's end
                    }
                    if (busSilent_) {
                        Report("the bus did not list its players in time", true);
                    }
                    Outcome(key.choice.press,
                            busSilent_ ? "the bus did not list its players in time" : NoBusText);
                    pending_.pop_front();
                    continue;
                }
                chosen = ChooseNow();
            }
            if (busy_.count(chosen) != 0) {
                // Behind its player's unanswered call: one wait for a frozen player, not one
                // a key.
                key.behindCall = true;
                break;
            }
            if (key.behindCall && now - key.pressed > MprisPlayerLink::StaleAfter) {
                // A slow player answered: what waited for it too long to make sense goes
                // nowhere, so a held key is never drawn out.
                Outcome(key.choice.press, "the player answered too late for this key");
                pending_.pop_front();
                continue;
            }
            const Pending taken = std::move(pending_.front());
            pending_.pop_front();
            Dispatch(taken.request, std::move(chosen), taken.until, taken.choice.press);
        }
    } while (again_);
    advancing_ = false;
    Arm();
}

void MprisLinkPolicy::Expire() {
    const Deadline now = Clock::now();
    const bool waitedEnough =
        std::any_of(pending_.begin(), pending_.end(), [&](const Pending& key) {
            return !key.choice.made && LookupUntil(key.pressed, key.until) <= now;
        });
    if (waitedEnough && !Known()) {
        GiveUp();
    }
    for (auto call = busy_.begin(); call != busy_.end();) {
        if (call->second <= now) {
            // Passed over: the keys that waited for it go to a player that answers.
            cache_.Silence(call->first);
            for (Pending& key : pending_) {
                key.behindCall = false;
            }
            call = busy_.erase(call);
        } else {
            ++call;
        }
    }
    Advance();
}

void MprisLinkPolicy::Arm() {
    if (!timer_) {
        return;
    }
    Deadline next = Deadline::max();
    for (const auto& [name, until] : busy_) {
        next = std::min(next, until);
    }
    for (const Pending& key : pending_) {
        next = std::min(
            next, !key.choice.made && !Known() ? LookupUntil(key.pressed, key.until) : key.until);
    }
    if (next == Deadline::max()) {
        timer_->Cancel();
    } else {
        timer_->Set(next);
    }
}

void MprisLinkPolicy::Dispatch(const PlayerRequest& request, std::string chosen, Deadline until,
                               std::uint64_t press) {
    if (bus_ == nullptr) {
        Outcome(press, NoBusText);
        return;
    }
    std::string why;
    if (!chosen.empty() && bus_->Names().count(chosen) == 0) {
        why = UntrustedText(chosen) + " left the bus before its key's command was sent";
        Report(why);
        chosen.clear();
    }
    if (request.action == PlayerAction::NextPlayer ||
        request.action == PlayerAction::PreviousPlayer) {
        const bool moved = MoveRemote(chosen, request.action == PlayerAction::NextPlayer ? 1 : -1);
        Outcome(press, moved ? std::string()
                             : NoMprisPlayerLine(filter_, cache_.Candidates(bus_->Names())));
        return;
    }
    if (chosen.empty()) {
        Outcome(press,
                !why.empty() ? why : NoMprisPlayerLine(filter_, cache_.Candidates(bus_->Names())));
        return;
    }
    if (cache_[chosen].silent) {
        Outcome(press, UntrustedText(chosen) + " does not answer; keys go nowhere until it does");
        return;
    }
    Command(chosen, request, until, press);
    // The remote moved by itself (a player started playing, or left): told once.
    if (chosen != told_) {
        if (!told_.empty()) {
            Tell(PlayerNews::Kind::Player, chosen, "The remote is on this player");
        }
        told_ = chosen;
    }
}
