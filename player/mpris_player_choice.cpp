#include "player/mpris_player_choice.h"

#include <string_view>

namespace {

// playerctld re-exports whichever player it thinks is active; commanding it unasked
// would let it choose for us.
constexpr std::string_view ForwardingProxy = "playerctld";

// The part of an MPRIS bus name after the prefix; empty when there is none.
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

bool Fits(const MprisCandidate& c, std::string_view suffix, const std::string& wanted) {
    if (wanted.empty()) {
        return !SuffixNames(suffix, ForwardingProxy);
    }
    return SuffixNames(suffix, wanted) || c.identity == wanted;
}

// True when a should be taken before b.
bool Before(const MprisCandidate& a, const MprisCandidate& b) {
    if (a.playing != b.playing) {
        return a.playing;
    }
    return a.busName < b.busName;
}

}  // namespace

std::string ChooseMprisPlayer(const std::vector<MprisCandidate>& candidates,
                              const std::string& wanted) {
    const MprisCandidate* best = nullptr;
    for (const MprisCandidate& c : candidates) {
        const std::string_view suffix = Suffix(c.busName);
        if (suffix.empty() || !Fits(c, suffix, wanted)) {
            continue;
        }
        if (best == nullptr || Before(c, *best)) {
            best = &c;
        }
    }
    return best != nullptr ? best->busName : std::string();
}
