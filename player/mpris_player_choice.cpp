#include "player/mpris_player_choice.h"

#include "log/untrusted_text.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>
#include <tuple>

namespace {

// playerctld re-exports whichever player it thinks is active; commanding it unasked
// would let it choose for us.
constexpr std::string_view ForwardingProxy = "playerctld";
constexpr std::string_view AnyOther = "*";

// The part of a bus name after the MPRIS prefix; empty when there is none.
std::string_view Suffix(std::string_view busName) {
    const std::string_view prefix = MprisBusPrefix;
    if (busName.size() <= prefix.size() || busName.substr(0, prefix.size()) != prefix) {
        return {};
    }
    return busName.substr(prefix.size());
}

// NAME itself, or NAME.<instance> with a non-empty instance.
bool SuffixNames(std::string_view suffix, std::string_view name) {
    if (suffix == name) {
        return true;
    }
    return suffix.size() > name.size() + 1 && suffix.substr(0, name.size()) == name &&
           suffix[name.size()] == '.';
}

// Whether name names the player (see MprisPlayerFilter).
bool MprisPlayerNamed(std::string_view busName, std::string_view identity, std::string_view name) {
    const std::string_view suffix = Suffix(busName);
    if (suffix.empty() || name.empty()) {
        return false;
    }
    const std::string_view nameSuffix = Suffix(name);
    return SuffixNames(suffix, nameSuffix.empty() ? name : nameSuffix) ||
           (!identity.empty() && identity == name);
}

// The place in --player's list that takes the player; none when it does not fit.
std::optional<std::size_t> Preference(const MprisCandidate& c, const MprisPlayerFilter& filter) {
    if (Suffix(c.busName).empty()) {
        return std::nullopt;
    }
    for (const std::string& name : filter.ignored) {
        if (MprisPlayerNamed(c.busName, c.identity, name)) {
            return std::nullopt;
        }
    }
    std::optional<std::size_t> anyOther;
    if (filter.preferred.empty()) {
        anyOther = 0;
    }
    for (std::size_t i = 0; i < filter.preferred.size(); ++i) {
        const std::string& name = filter.preferred[i];
        if (name == AnyOther) {
            anyOther = anyOther.value_or(i);
        } else if (MprisPlayerNamed(c.busName, c.identity, name)) {
            return i;
        }
    }
    if (SuffixNames(Suffix(c.busName), ForwardingProxy)) {
        return std::nullopt;
    }
    return anyOther;
}

// Sorts before: answering, earlier in the list, Playing (the most recently become so
// first), commanded last, then the lowest bus name.
auto Rank(const MprisCandidate& c, std::size_t preference, std::string_view lastCommanded) {
    const std::uint64_t sinceBecamePlaying =
        c.playing ? std::numeric_limits<std::uint64_t>::max() - c.becamePlaying : 0;
    return std::make_tuple(!c.answers, preference, !c.playing, sinceBecamePlaying,
                           c.busName != lastCommanded, std::string_view(c.busName));
}

}  // namespace

std::string ChooseMprisPlayer(const std::vector<MprisCandidate>& candidates,
                              const MprisPlayerFilter& filter, std::string_view lastCommanded,
                              std::string_view pinned) {
    const MprisCandidate* best = nullptr;
    std::size_t bestPreference = 0;
    for (const MprisCandidate& c : candidates) {
        const std::optional<std::size_t> preference = Preference(c, filter);
        if (!preference) {
            continue;
        }
        if (!pinned.empty() && c.busName == pinned) {
            return c.busName;
        }
        if (best == nullptr ||
            Rank(c, *preference, lastCommanded) < Rank(*best, bestPreference, lastCommanded)) {
            best = &c;
            bestPreference = *preference;
        }
    }
    return best != nullptr ? best->busName : std::string();
}

std::string StepMprisPlayer(const std::vector<MprisCandidate>& candidates,
                            const MprisPlayerFilter& filter, std::string_view current, int step) {
    std::vector<std::pair<std::size_t, std::string_view>> ring;
    for (const MprisCandidate& c : candidates) {
        if (const std::optional<std::size_t> preference = Preference(c, filter)) {
            ring.emplace_back(*preference, c.busName);
        }
    }
    if (ring.empty()) {
        return {};
    }
    std::sort(ring.begin(), ring.end());
    const auto at = std::find_if(ring.begin(), ring.end(),
                                 [&](const auto& entry) { return entry.second == current; });
    if (at == ring.end()) {
        return std::string(step > 0 ? ring.front().second : ring.back().second);
    }
    const auto size = static_cast<std::ptrdiff_t>(ring.size());
    const std::ptrdiff_t next = ((at - ring.begin() + step) % size + size) % size;
    return std::string(ring[static_cast<std::size_t>(next)].second);
}

std::string DescribedMprisPlayer(const MprisCandidate& player) {
    std::string text =
        UntrustedText(player.busName.substr(std::string_view(MprisBusPrefix).size()));
    if (!player.identity.empty()) {
        text += " (\"" + UntrustedText(player.identity) + "\")";
    }
    return text;
}

std::string NoMprisPlayerLine(const MprisPlayerFilter& filter,
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
    // A player both named and ignored is there, yet not taken: say which list wins, or the
    // line would name it as missing and as present at once.
    std::string hidden;
    for (const MprisCandidate& c : there) {
        const auto names = [&c](const std::string& name) {
            return MprisPlayerNamed(c.busName, c.identity, name);
        };
        const auto ignoredBy = std::find_if(filter.ignored.begin(), filter.ignored.end(), names);
        if (ignoredBy != filter.ignored.end() && std::any_of(named.begin(), named.end(), names)) {
            hidden += (hidden.empty() ? "" : ", ") + DescribedMprisPlayer(c) +
                      " is ignored (ignore-player \"" + UntrustedText(*ignoredBy) + "\")";
        }
    }
    if (named.empty()) {
        line += " that is not ignored";
    } else if (!hidden.empty()) {
        line += " that is not ignored: " + hidden;
    }
    line += "; on the bus:";
    if (there.empty()) {
        return line + " none";
    }
    for (const MprisCandidate& c : there) {
        line += (&c == &there.front() ? " " : ", ") + DescribedMprisPlayer(c);
    }
    return line;
}
