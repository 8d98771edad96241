#include "player/mpris_player_link.h"

#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "log/untrusted_text.h"
#include "player/mpris_bus.h"
#include "player/mpris_player_choice.h"
#include "player/player_log.h"
#include "player/volume_step.h"

namespace {

constexpr const char* RootInterface = "org.mpris.MediaPlayer2";
constexpr const char* PlayerInterface = "org.mpris.MediaPlayer2.Player";

// Why sd-bus would find no session bus, or empty when it may find one. Said here, as
// sd-bus's own reason would only be "No such file or directory".
std::string WhyNoSessionBus() {
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr) {
        return {};
    }
    // Started over SSH, the program still finds the desktop's bus this way.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) {
        return "neither DBUS_SESSION_BUS_ADDRESS nor XDG_RUNTIME_DIR is set";
    }
    const std::string socket = std::string(runtime) + "/bus";
    struct stat status {};
    if (::stat(socket.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
        return "DBUS_SESSION_BUS_ADDRESS is not set and there is no " + socket;
    }
    return {};
}

template <typename T>
void ReadNumber(const sdbus::Variant& value, std::optional<double>& number) {
    if (!number && value.containsValueOfType<T>()) {
        number = static_cast<double>(value.get<T>());
    }
}

// Volume is a double, but a player that answers with an integer is still understood.
std::optional<double> Number(const sdbus::Variant& value) {
    std::optional<double> number;
    ReadNumber<double>(value, number);
    ReadNumber<std::int32_t>(value, number);
    ReadNumber<std::uint32_t>(value, number);
    ReadNumber<std::int64_t>(value, number);
    ReadNumber<std::uint64_t>(value, number);
    ReadNumber<std::int16_t>(value, number);
    ReadNumber<std::uint16_t>(value, number);
    ReadNumber<std::uint8_t>(value, number);
    return number;
}

std::string Text(const sdbus::Variant& value) {
    return value.containsValueOfType<std::string>() ? value.get<std::string>() : std::string();
}

// The player's method for an action that is one call without arguments; null for others.
const char* MethodFor(PlayerAction action) {
    switch (action) {
        case PlayerAction::PlayPause:
            return "PlayPause";
        case PlayerAction::Previous:
            return "Previous";
        case PlayerAction::Next:
            return "Next";
        case PlayerAction::Play:
            return "Play";
        case PlayerAction::Pause:
            return "Pause";
        case PlayerAction::Stop:
            return "Stop";
        default:
            return nullptr;
    }
}

constexpr const char* Playing = "Playing";

// A player for the log: its bus name without the prefix, and its Identity when it said one.
std::string Described(const MprisCandidate& player) {
    std::string text =
        UntrustedText(player.busName.substr(std::string_view(MprisBusPrefix).size()));
    if (!player.identity.empty()) {
        text += " (\"" + UntrustedText(player.identity) + "\")";
    }
    return text;
}

// What to say when no player fits: the players that are there, when the user named some
// or ignored some.
std::string NoPlayerLine(const MprisPlayerFilter& filter,
                         const std::vector<MprisCandidate>& there) {
    std::vector<std::string> named;
    for (const std::string& name : filter.preferred) {
        if (name == "*") {
            named.clear();
            break;
        }
        named.push_back(name);
    }
    if (named.empty() && filter.ignored.empty()) {
        return "no MPRIS player on the bus";
    }
    std::string line = "no MPRIS player";
    for (std::size_t i = 0; i < named.size(); ++i) {
        line += (i == 0                  ? " named \""
                 : i + 1 == named.size() ? " or \""
                                         : ", \"") +
                UntrustedText(named[i]) + "\"";
    }
    if (named.empty()) {
        line += " that is not ignored";
    }
    line += "; on the bus:";
    if (there.empty()) {
        return line + " none";
    }
    for (const MprisCandidate& c : there) {
        line += (&c == &there.front() ? " " : ", ") + Described(c);
    }
    return line;
}

}  // namespace

MprisPlayerLink::MprisPlayerLink(MprisPlayerFilter filter, int replyTimeoutMs, bool notify)
    : filter_(std::move(filter)),
      replyTimeout_(replyTimeoutMs),
      lookupTimeout_(replyTimeoutMs * 3 / 10),
      interruptFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      notifier_(notify ? std::make_unique<MprisNotifier>() : nullptr) {
    if (interruptFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    // Joining starts now, in the background, so the first press rarely waits for it.
    if (WhyNoSessionBus().empty()) {
        std::string notYet;
        connection_ = connector_.Take(std::chrono::steady_clock::now(), -1, notYet);
    }
}

MprisPlayerLink::~MprisPlayerLink() {
    bus_.reset();
    ::close(interruptFd_);
}

void MprisPlayerLink::Interrupt() {
    const std::uint64_t one = 1;
    // Fails only if the counter would overflow, and then it is readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(interruptFd_, &one, sizeof one);
}

bool MprisPlayerLink::Joined(Deadline deadline) {
    if (bus_) {
        // Takes in what came unasked since the last command (property changes, late
        // replies, players that came or went, the bus hanging up), so a lost bus is seen
        // before a command is spent on it.
        try {
            bus_->RunUntil(Deadline(), [] { return false; });
            return true;
        } catch (const sdbus::Error& error) {
            Lose(error.getMessage());
        }
    }
    std::string whyNot = WhyNoSessionBus();
    if (whyNot.empty()) {
        // A bus that does not answer costs a press at most a second, once: the joining
        // goes on in the background, and presses meanwhile are dropped.
        const Deadline joinDeadline =
            std::min(deadline, std::chrono::steady_clock::now() + JoinTimeout);
        auto connection = connection_ ? std::move(connection_)
                                      : connector_.Take(joinDeadline, interruptFd_, whyNot);
        if (connection) {
            try {
                bus_ = std::make_unique<MprisBus>(
                    std::move(connection), replyTimeout_,
                    [this](const std::string& name) {
                        players_.erase(name);
                        if (name == pinned_ && bus_->Names().count(name) == 0) {
                            pinned_.clear();
                            QUORVEL_INFO(lcPlayer)
                                << UntrustedText(name) << " left the bus; the remote is free again";
                        }
                    },
                    [this](const std::string& name, const Properties& changed,
                           const std::vector<std::string>& invalidated) {
                        const auto found = players_.find(name);
                        if (found == players_.end()) {
                            return;
                        }
                        Learn(found->second, changed, true);
                        for (const std::string& property : invalidated) {
                            if (property == "Volume") {
                                found->second.volume.reset();
                            } else if (property == "PlaybackStatus" || property == "Identity") {
                                found->second.known = false;
                            }
                        }
                    },
                    interruptFd_);
                firstLook_ = true;
                if (notifier_) {
                    notifier_->Use(bus_.get());
                }
            } catch (const sdbus::Error& error) {
                whyNot = error.getMessage();
            }
        }
    }
    if (bus_) {
        if (noBusReported_) {
            noBusReported_ = false;
            QUORVEL_INFO(lcPlayer) << "joined the D-Bus session bus";
        }
        return true;
    }
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "no D-Bus session bus, player commands go nowhere: " << whyNot;
    }
    return false;
}

void MprisPlayerLink::Lose(const std::string& why) {
    if (notifier_) {
        notifier_->Use(nullptr);
    }
    bus_.reset();
    players_.clear();
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "lost the D-Bus session bus (" << why
                                  << "); trying again at each command";
    }
}

std::string MprisPlayerLink::ChosenPlayer() {
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    if (!Joined(deadline)) {
        return {};
    }
    try {
        return Choose(deadline);
    } catch (const sdbus::Error& error) {
        Lose(error.getMessage());
        return {};
    }
}

void MprisPlayerLink::Perform(const PlayerRequest& request) {
    if (request.action == PlayerAction::Run) {
        PerformWithoutPlayer(request);
        return;
    }
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    if (!Joined(deadline)) {
        return;
    }
    try {
        const std::string chosen = Choose(deadline);
        if (request.action == PlayerAction::NextPlayer ||
            request.action == PlayerAction::PreviousPlayer) {
            MoveRemote(chosen, request.action == PlayerAction::NextPlayer ? 1 : -1);
        } else if (!chosen.empty() && !players_[chosen].silent) {
            Command(chosen, request, deadline);
            // The remote moved by itself (a player started playing, or left): told once.
            if (chosen != told_) {
                if (!told_.empty()) {
                    Tell(PlayerNews::Kind::Player, chosen, "The remote is on this player");
                }
                told_ = chosen;
            }
        }
    } catch (const sdbus::Error& error) {
        Lose(error.getMessage());
    }
}

std::string MprisPlayerLink::Choose(Deadline deadline) {
    const Deadline lookupDeadline =
        std::min(deadline, std::chrono::steady_clock::now() + lookupTimeout_);
    if (!bus_->LearnNames(lookupDeadline)) {
        Report("the bus did not list its players in time", true);
        return {};
    }
    ReadNewPlayers(lookupDeadline);

    const std::vector<MprisCandidate> candidates = Candidates();
    const std::string chosen = ChooseMprisPlayer(candidates, filter_, lastCommanded_, pinned_);
    if (chosen.empty()) {
        Report(NoPlayerLine(filter_, candidates));
    } else if (players_[chosen].silent) {
        Report(UntrustedText(chosen) + " does not answer; keys go nowhere until it does", true);
    } else {
        Report("commanding " + UntrustedText(chosen));
    }
    return chosen;
}

void MprisPlayerLink::ReadNewPlayers(Deadline deadline) {
    const bool recent = !firstLook_;
    firstLook_ = false;
    // All asked at once, and waited for together.
    std::vector<std::pair<std::string, std::shared_ptr<bool>>> calls;
    for (const std::string& name : bus_->Names()) {
        Player& player = players_[name];
        if (player.known || player.silent) {
            continue;
        }
        auto learn = [this, name, recent](const Properties& properties) {
            if (const auto found = players_.find(name); found != players_.end()) {
                Learn(found->second, properties, recent);
            }
        };
        // Once answered, even with an error, it is not asked again.
        auto known = [this, name] {
            if (const auto found = players_.find(name); found != players_.end()) {
                found->second.known = true;
            }
        };
        calls.emplace_back(name, std::make_shared<bool>(false));
        bus_->GetAll(name, PlayerInterface,
                     Reply(
                         name, {}, calls.back().second,
                         [learn, known](const sdbus::Variant& value) {
                             learn(value.get<Properties>());
                             known();
                         },
                         known));
        calls.emplace_back(name, std::make_shared<bool>(false));
        bus_->Get(name, RootInterface, "Identity",
                  Reply(name, {}, calls.back().second, [learn](const sdbus::Variant& value) {
                      learn(Properties{{"Identity", value}});
                  }));
    }
    if (calls.empty()) {
        return;
    }
    bus_->RunUntil(deadline, [&] {
        return std::all_of(calls.begin(), calls.end(), [](const auto& c) { return *c.second; });
    });
    for (const auto& [name, replied] : calls) {
        if (!*replied && deadline <= std::chrono::steady_clock::now()) {
            Silence(name);
        }
    }
}

void MprisPlayerLink::Learn(Player& player, const Properties& properties, bool recent) {
    if (const auto status = properties.find("PlaybackStatus"); status != properties.end()) {
        const std::string now = Text(status->second);
        // Only a change counts: a player that repeats its status while paused, or says
        // other things, is no more recent for it.
        if (now == Playing && player.status != Playing) {
            player.becamePlaying = recent ? ++playingChanges_ : 0;
        }
        player.status = now;
    }
    if (const auto volume = properties.find("Volume"); volume != properties.end()) {
        player.volume = Number(volume->second);
    }
    if (const auto identity = properties.find("Identity"); identity != properties.end()) {
        player.identity = Text(identity->second);
    }
}

std::vector<MprisCandidate> MprisPlayerLink::Candidates() {
    std::vector<MprisCandidate> candidates;
    for (const std::string& name : bus_->Names()) {
        const Player& player = players_[name];
        candidates.push_back(MprisCandidate{name, player.identity, player.status == Playing,
                                            !player.silent, player.becamePlaying});
    }
    return candidates;
}

void MprisPlayerLink::MoveRemote(const std::string& from, int step) {
    const std::vector<MprisCandidate> candidates = Candidates();
    const std::string to = StepMprisPlayer(candidates, filter_, from, step);
    if (to.empty()) {
        return;  // Choose has said that no player fits
    }
    pinned_ = to;
    const auto player = std::find_if(candidates.begin(), candidates.end(),
                                     [&](const MprisCandidate& c) { return c.busName == to; });
    QUORVEL_INFO(lcPlayer) << (to == from ? "the remote stays on " : "the remote is on ")
                           << Described(*player);
    lastReport_ = "commanding " + UntrustedText(to);
    Tell(PlayerNews::Kind::Player, to,
         to == from ? "The remote stays on this player" : "The remote is on this player");
    told_ = to;
}

void MprisPlayerLink::Tell(PlayerNews::Kind kind, const std::string& busName, std::string text) {
    if (!notifier_) {
        return;
    }
    const auto found = players_.find(busName);
    const std::string player = found != players_.end() && !found->second.identity.empty()
                                   ? found->second.identity
                                   : busName.substr(std::string_view(MprisBusPrefix).size());
    notifier_->Show(PlayerNews{kind, UntrustedText(player, 100), std::move(text)});
}

void MprisPlayerLink::Report(std::string line, bool warning) {
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

void MprisPlayerLink::Command(const std::string& busName, const PlayerRequest& request,
                              Deadline deadline) {
    lastCommanded_ = busName;
    auto replied = std::make_shared<bool>(false);
    switch (request.action) {
        case PlayerAction::VolumeUp:
        case PlayerAction::VolumeDown: {
            const double step = request.action == PlayerAction::VolumeUp ? VolumeStep : -VolumeStep;
            ChangeVolume(
                busName, [step](double volume) { return SteppedVolume(volume, step); },
                PlayerNews::Kind::Volume, deadline);
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
                PlayerNews::Kind::Mute, deadline);
            return;
        case PlayerAction::SeekForward:
        case PlayerAction::SeekBackward: {
            const std::int64_t microseconds = std::int64_t{request.seconds} * 1'000'000;
            bus_->Call(busName, PlayerInterface, "Seek",
                       request.action == PlayerAction::SeekForward ? microseconds : -microseconds,
                       Reply(busName, "Seek", replied));
            break;
        }
        case PlayerAction::Raise:
            bus_->Call(busName, RootInterface, "Raise", Reply(busName, "Raise", replied));
            break;
        default: {
            const char* method = MethodFor(request.action);
            if (method == nullptr) {
                return;
            }
            bus_->Call(busName, PlayerInterface, method, Reply(busName, method, replied));
            break;
        }
    }
    Await(busName, replied, deadline);
}

void MprisPlayerLink::ChangeVolume(const std::string& busName,
                                   const std::function<double(double)>& next, PlayerNews::Kind kind,
                                   Deadline deadline) {
    // Forgets the volume of a player still on the bus, so the next step asks it.
    const auto forget = [this, busName] {
        if (const auto found = players_.find(busName); found != players_.end()) {
            found->second.volume.reset();
        }
    };
    if (!players_[busName].volume) {
        auto replied = std::make_shared<bool>(false);
        // By name: an answer that comes too late still lands there.
        bus_->Get(
            busName, PlayerInterface, "Volume",
            Reply(busName, "reading Volume", replied, [this, busName](const sdbus::Variant& v) {
                if (const auto found = players_.find(busName); found != players_.end()) {
                    found->second.volume = Number(v);
                }
            }));
        if (!Await(busName, replied, deadline)) {
            return;
        }
    }
    const auto found = players_.find(busName);
    if (found == players_.end()) {
        return;  // gone meanwhile
    }
    Player& player = found->second;
    if (!player.volume) {
        QUORVEL_WARNING(lcPlayer) << UntrustedText(busName) << " gave no usable Volume";
        return;
    }
    const double volume = *player.volume;
    // NaN or infinity would be written back as it is: left alone, and said once.
    if (!std::isfinite(volume)) {
        if (!player.saidBadVolume) {
            player.saidBadVolume = true;
            QUORVEL_WARNING(lcPlayer) << UntrustedText(busName) << " gave a Volume of " << volume
                                      << "; its volume is left alone";
        }
        return;
    }
    const double wanted = next(volume);
    if (wanted == volume) {
        return;
    }
    // As the player will have it; its own word, whenever it comes, replaces this.
    player.volume = wanted;
    auto written = std::make_shared<bool>(false);
    auto failed = std::make_shared<bool>(false);
    bus_->Set(busName, PlayerInterface, "Volume", sdbus::Variant(wanted),
              Reply(busName, "setting Volume", written, {}, [forget, failed] {
                  *failed = true;
                  forget();
              }));
    if (Await(busName, written, deadline) && !*failed) {
        const std::string percent = std::to_string(std::lround(wanted * 100)) + "%";
        Tell(kind, busName,
             kind == PlayerNews::Kind::Volume ? "Volume " + percent
             : wanted == 0                    ? std::string("Muted")
                                              : "Unmuted: volume " + percent);
    }
}

MprisBus::Outcome MprisPlayerLink::Reply(const std::string& busName, std::string what,
                                         std::shared_ptr<bool> replied,
                                         std::function<void(const sdbus::Variant&)> use,
                                         std::function<void()> failed) {
    return
        [this, busName, what = std::move(what), replied = std::move(replied), use = std::move(use),
         failed = std::move(failed)](const std::string& error, const sdbus::Variant& value) {
            *replied = true;
            Heard(busName);
            if (error.empty()) {
                if (use) {
                    use(value);
                }
                return;
            }
            if (failed) {
                failed();
            }
            if (!what.empty()) {
                QUORVEL_WARNING(lcPlayer) << what << " on " << UntrustedText(busName)
                                          << " failed: " << UntrustedText(error);
            }
        };
}
bool MprisPlayerLink::Await(const std::string& busName, const std::shared_ptr<bool>& replied,
                            Deadline deadline) {
    // A player that leaves the bus meanwhile takes its unanswered call with it.
    const auto gone = [&] { return bus_->Names().count(busName) == 0; };
    if (bus_->RunUntil(deadline, [&] { return *replied || gone(); })) {
        return *replied;
    }
    if (deadline > std::chrono::steady_clock::now()) {
        return false;  // interrupted: no fault of the player's
    }
    Silence(busName);
    return false;
}

void MprisPlayerLink::Silence(const std::string& busName) {
    const auto found = players_.find(busName);
    if (found == players_.end() || found->second.silent) {
        return;
    }
    found->second.silent = true;
    QUORVEL_WARNING(lcPlayer)
        << UntrustedText(busName)
        << " did not answer in time; it is not waited for again until it does";
}

void MprisPlayerLink::Heard(const std::string& busName) {
    const auto found = players_.find(busName);
    if (found != players_.end() && found->second.silent) {
        found->second.silent = false;
        QUORVEL_INFO(lcPlayer) << UntrustedText(busName) << " answers again";
    }
}
