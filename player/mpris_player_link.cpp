#include "player/mpris_player_link.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

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

const char* MethodFor(PlayerAction action) {
    switch (action) {
        case PlayerAction::PlayPause:
            return "PlayPause";
        case PlayerAction::Previous:
            return "Previous";
        case PlayerAction::Next:
            return "Next";
        default:
            return nullptr;
    }
}

// What to say when no player fits: for a --player name, the players that are there.
std::string NoPlayerLine(const std::string& wanted, const std::vector<MprisCandidate>& there) {
    if (wanted.empty()) {
        return "no MPRIS player on the bus";
    }
    std::string line = "no MPRIS player named \"" + wanted + "\"; on the bus:";
    if (there.empty()) {
        return line + " none";
    }
    const std::size_t prefix = std::string_view(MprisBusPrefix).size();
    for (const MprisCandidate& c : there) {
        line += (&c == &there.front() ? " " : ", ") + c.busName.substr(prefix);
        if (!c.identity.empty()) {
            line += " (\"" + c.identity + "\")";
        }
    }
    return line;
}

}  // namespace

MprisPlayerLink::MprisPlayerLink(std::string wantedName, int replyTimeoutMs)
    : wanted_(std::move(wantedName)),
      replyTimeout_(replyTimeoutMs),
      lookupTimeout_(replyTimeoutMs * 3 / 10) {}

MprisPlayerLink::~MprisPlayerLink() = default;

bool MprisPlayerLink::Joined() {
    if (bus_) {
        // Takes in what came unasked since the last command (late replies, players that
        // came or went, the bus hanging up), so a lost bus is seen before a command is
        // spent on it.
        try {
            bus_->RunUntil(Deadline(), [] { return false; });
            return true;
        } catch (const sdbus::Error& error) {
            Lose(error.getMessage());
        }
    }
    std::string whyNot = WhyNoSessionBus();
    if (whyNot.empty()) {
        try {
            bus_ = std::make_unique<MprisBus>(
                replyTimeout_, [this](const std::string& name) { players_.erase(name); });
        } catch (const sdbus::Error& error) {
            whyNot = error.getMessage();
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
    bus_.reset();
    players_.clear();
    if (!noBusReported_) {
        noBusReported_ = true;
        QUORVEL_WARNING(lcPlayer) << "lost the D-Bus session bus (" << why
                                  << "); trying again at each command";
    }
}

std::string MprisPlayerLink::FindPlayerWindow() {
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    if (!Joined()) {
        return {};
    }
    try {
        return Choose(deadline);
    } catch (const sdbus::Error& error) {
        Lose(error.getMessage());
        return {};
    }
}

void MprisPlayerLink::SendPlayerCommand(int id) {
    const std::optional<PlayerAction> action = PlayerActionFor(id);
    if (!action) {
        return;
    }
    const Deadline deadline = std::chrono::steady_clock::now() + replyTimeout_;
    if (!Joined()) {
        return;
    }
    try {
        const std::string chosen = Choose(deadline);
        if (!chosen.empty() && !players_[chosen].silent) {
            Command(chosen, *action, deadline);
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

    // Every player that may fit is asked at once; each counts the calls it has still to
    // answer. Shared, as a late reply may come after this lookup is over.
    auto open = std::make_shared<std::map<std::string, int>>();
    auto ask = [&](const std::string& name, const char* interface, const char* property,
                   void (*use)(Player&, const sdbus::Variant&)) {
        ++(*open)[name];
        bus_->Get(name, interface, property,
                  [this, open, name, use](const std::string& error, const sdbus::Variant& value) {
                      --(*open)[name];
                      Heard(name);
                      const auto found = players_.find(name);
                      if (error.empty() && found != players_.end()) {
                          use(found->second, value);
                      }
                  });
    };
    // Those that answer and may fit: a status only decides between two or more of them.
    std::vector<std::string> asked;
    for (const std::string& name : bus_->Names()) {
        Player& player = players_[name];
        player.playing = false;
        if (!player.silent && (MprisPlayerFits(name, player.identity, wanted_) ||
                               (!wanted_.empty() && !player.identityKnown))) {
            asked.push_back(name);
        }
    }
    for (const std::string& name : asked) {
        const bool identityNeeded = !wanted_.empty() && !players_[name].identityKnown &&
                                    !MprisPlayerFits(name, {}, wanted_);
        if (asked.size() > 1) {
            ask(name, PlayerInterface, "PlaybackStatus",
                [](Player& p, const sdbus::Variant& v) { p.playing = Text(v) == "Playing"; });
        }
        if (identityNeeded) {
            ask(name, RootInterface, "Identity", [](Player& p, const sdbus::Variant& v) {
                p.identity = Text(v);
                p.identityKnown = true;
            });
        }
    }
    const bool allAnswered = bus_->RunUntil(lookupDeadline, [&] {
        return std::all_of(open->begin(), open->end(), [](const auto& o) { return o.second <= 0; });
    });
    if (!allAnswered) {
        for (const auto& [name, calls] : *open) {
            if (calls > 0) {
                Silence(name);
            }
        }
    }

    std::vector<MprisCandidate> candidates;
    for (const std::string& name : bus_->Names()) {
        const Player& player = players_[name];
        candidates.push_back(MprisCandidate{name, player.identity, player.playing, !player.silent});
    }
    const std::string chosen = ChooseMprisPlayer(candidates, wanted_, lastCommanded_);
    if (chosen.empty()) {
        Report(NoPlayerLine(wanted_, candidates));
    } else if (players_[chosen].silent) {
        Report(chosen + " does not answer; keys go nowhere until it does", true);
    } else {
        Report("commanding " + chosen);
    }
    return chosen;
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

void MprisPlayerLink::Command(const std::string& busName, PlayerAction action, Deadline deadline) {
    lastCommanded_ = busName;
    if (action == PlayerAction::VolumeUp || action == PlayerAction::VolumeDown) {
        StepVolume(busName, action == PlayerAction::VolumeUp ? VolumeStep : -VolumeStep, deadline);
        return;
    }
    const char* method = MethodFor(action);
    auto replied = std::make_shared<bool>(false);
    bus_->Call(busName, PlayerInterface, method,
               [this, replied, busName, method](const std::string& error, const sdbus::Variant&) {
                   *replied = true;
                   Heard(busName);
                   if (!error.empty()) {
                       QUORVEL_WARNING(lcPlayer)
                           << method << " on " << busName << " failed: " << error;
                   }
               });
    Await(busName, replied, deadline);
}

void MprisPlayerLink::StepVolume(const std::string& busName, double step, Deadline deadline) {
    auto replied = std::make_shared<bool>(false);
    auto volume = std::make_shared<std::optional<double>>();
    bus_->Get(
        busName, PlayerInterface, "Volume",
        [this, replied, volume, busName](const std::string& error, const sdbus::Variant& value) {
            *replied = true;
            Heard(busName);
            if (!error.empty()) {
                QUORVEL_WARNING(lcPlayer)
                    << "reading Volume on " << busName << " failed: " << error;
            } else if (!(*volume = Number(value))) {
                QUORVEL_WARNING(lcPlayer) << busName << " gave no usable Volume";
            }
        });
    if (!Await(busName, replied, deadline) || !*volume) {
        return;
    }
    const double next = SteppedVolume(**volume, step);
    if (next == **volume) {
        return;
    }
    auto written = std::make_shared<bool>(false);
    bus_->Set(busName, PlayerInterface, "Volume", sdbus::Variant(next),
              [this, written, busName](const std::string& error, const sdbus::Variant&) {
                  *written = true;
                  Heard(busName);
                  if (!error.empty()) {
                      QUORVEL_WARNING(lcPlayer)
                          << "setting Volume on " << busName << " failed: " << error;
                  }
              });
    Await(busName, written, deadline);
}

bool MprisPlayerLink::Await(const std::string& busName, const std::shared_ptr<bool>& replied,
                            Deadline deadline) {
    if (bus_->RunUntil(deadline, [&] { return *replied; })) {
        return true;
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
        << busName << " did not answer in time; it is not waited for again until it does";
}

void MprisPlayerLink::Heard(const std::string& busName) {
    const auto found = players_.find(busName);
    if (found != players_.end() && found->second.silent) {
        found->second.silent = false;
        QUORVEL_INFO(lcPlayer) << busName << " answers again";
    }
}
