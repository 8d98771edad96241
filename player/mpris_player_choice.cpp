#include "player/mpris_player_choice.h"

#include <tuple>

namespace {

// playerctld re-exports whichever player it thinks is active; commanding it unasked
// would let it choose for us.
constexpr std::string_view ForwardingProxy = "playerctld";

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

// Sorts before: answering, Playing, commanded last, then the lowest bus name.
auto Rank(const MprisCandidate& c, std::string_view lastCommanded) {
    return std::make_tuple(!c.answers, !c.playing, c.busName != lastCommanded,
                           std::string_view(c.busName));
}

}  // namespace

bool MprisPlayerFits(std::string_view busName, std::string_view identity, std::string_view wanted) {
    const std::string_view suffix = Suffix(busName);
    if (suffix.empty()) {
        return false;
    }
    if (wanted.empty()) {
        return !SuffixNames(suffix, ForwardingProxy);
    }
    const std::string_view wantedSuffix = Suffix(wanted);
    return SuffixNames(suffix, wantedSuffix.empty() ? wanted : wantedSuffix) ||
           (!identity.empty() && identity == wanted);
}

std::string ChooseMprisPlayer(const std::vector<MprisCandidate>& candidates,
                              std::string_view wanted, std::string_view lastCommanded) {
    const MprisCandidate* best = nullptr;
    for (const MprisCandidate& c : candidates) {
        if (!MprisPlayerFits(c.busName, c.identity, wanted)) {
            continue;
        }
        if (best == nullptr || Rank(c, lastCommanded) < Rank(*best, lastCommanded)) {
            best = &c;
        }
    }
    return best != nullptr ? best->busName : std::string();
}
