#include "player/media_session_choice.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <tuple>

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view WithoutExe(std::string_view name) {
    constexpr std::string_view exe = ".exe";
    return name.size() > exe.size() && SameText(name.substr(name.size() - exe.size()), exe)
               ? name.substr(0, name.size() - exe.size())
               : name;
}

// Sorts before: answering, Playing (the most recently become so first), commanded last,
// current, then the system's order.
auto Rank(const MediaSessionCandidate& s, std::size_t index, std::string_view lastCommanded) {
    const std::uint64_t sinceBecamePlaying =
        s.playing ? std::numeric_limits<std::uint64_t>::max() - s.becamePlaying : 0;
    return std::make_tuple(!s.answers, !s.playing, sinceBecamePlaying, s.appId != lastCommanded,
                           !s.current, index);
}

}  // namespace

std::optional<std::size_t> ChooseMediaSession(const std::vector<MediaSessionCandidate>& sessions,
                                              std::string_view lastCommanded,
                                              std::string_view pinned, std::string_view only) {
    std::optional<std::size_t> best;
    bool pinnedBest = false;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const MediaSessionCandidate& s = sessions[i];
        if (!only.empty() && s.appId != only) {
            continue;
        }
        const bool isPinned = !pinned.empty() && s.appId == pinned;
        if (!best || (isPinned && !pinnedBest) ||
            (isPinned == pinnedBest &&
             Rank(s, i, lastCommanded) < Rank(sessions[*best], *best, lastCommanded))) {
            best = i;
            pinnedBest = isPinned;
        }
    }
    return best;
}

std::string StepMediaSession(const std::vector<MediaSessionCandidate>& sessions,
                             std::string_view current, int step) {
    std::vector<std::string_view> ring;
    for (const MediaSessionCandidate& s : sessions) {
        ring.push_back(s.appId);
    }
    std::sort(ring.begin(), ring.end());
    ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
    if (ring.empty()) {
        return {};
    }
    const auto at = std::find(ring.begin(), ring.end(), current);
    if (at == ring.end()) {
        return std::string(step > 0 ? ring.front() : ring.back());
    }
    const auto size = static_cast<std::ptrdiff_t>(ring.size());
    const std::ptrdiff_t next = ((at - ring.begin() + step) % size + size) % size;
    return std::string(ring[static_cast<std::size_t>(next)]);
}

bool AppIdNamesProgram(std::string_view appId, std::string_view executable,
                       std::string_view packagedAppId) {
    if (appId.empty()) {
        return false;
    }
    if (!packagedAppId.empty() && SameText(appId, packagedAppId)) {
        return true;
    }
    const std::size_t slash = appId.find_last_of("\\/");
    const std::string_view last = slash == std::string_view::npos ? appId : appId.substr(slash + 1);
    return !executable.empty() && SameText(WithoutExe(last), WithoutExe(executable));
}
