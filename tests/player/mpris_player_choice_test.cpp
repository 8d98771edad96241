#include "player/mpris_player_choice.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const std::string P = MprisBusPrefix;

// Players as a test writes them: "vlc.instance42=VLC media player+, mpv" is
// org.mpris.MediaPlayer2.vlc.instance42, Identity "VLC media player", playing, and
// org.mpris.MediaPlayer2.mpv, paused. After a name, "!" marks a player that does not answer
// and "@N" when it became Playing; a bus name outside MPRIS's is written whole after "/".
std::vector<MprisCandidate> Players(const std::string& written) {
    std::vector<MprisCandidate> players;
    std::istringstream items(written);
    for (std::string item; std::getline(items >> std::ws, item, ',');) {
        MprisCandidate player;
        if (const auto at = item.find('@'); at != std::string::npos) {
            player.becamePlaying = std::stoull(item.substr(at + 1));
            item.erase(at);
        }
        for (; item.ends_with('+') || item.ends_with('!'); item.pop_back()) {
            if (item.back() == '+') {
                player.playing = true;
            } else {
                player.answers = false;
            }
        }
        const auto is = item.find('=');
        player.identity = is == std::string::npos ? "" : item.substr(is + 1);
        const std::string name = item.substr(0, is);
        player.busName = name.starts_with('/') ? name.substr(1) : P + name;
        players.push_back(player);
    }
    return players;
}

// A player's bus name from its name after MPRIS's prefix; none stays none.
std::string Bus(const std::string& name) {
    return name.empty() ? "" : P + name;
}

// --player's list, and --ignore-player's names.
MprisPlayerFilter Only(std::vector<std::string> preferred, std::vector<std::string> ignored = {}) {
    return {std::move(preferred), std::move(ignored)};
}
MprisPlayerFilter Ignoring(std::vector<std::string> ignored) {
    return {{}, std::move(ignored)};
}

// The players, the filter, the one commanded last, the one chosen, the one pinned.
struct Case {
    const char* name;
    const char* players;
    MprisPlayerFilter filter;
    std::string last;
    std::string chosen;
    std::string pinned = {};
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class ChooseMprisPlayerCase : public testing::TestWithParam<Case> {};

TEST_P(ChooseMprisPlayerCase, PicksTheExpectedPlayer) {
    const Case& c = GetParam();
    EXPECT_EQ(ChooseMprisPlayer(Players(c.players), c.filter, Bus(c.last), Bus(c.pinned)),
              Bus(c.chosen));
}

template <typename C>
std::string CaseName(const testing::TestParamInfo<C>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Named, ChooseMprisPlayerCase,
    testing::Values(
        Case{"BusSuffix", "vlc=VLC media player", Only({"vlc"}), "", "vlc"},
        Case{"BusSuffixWithInstance", "vlc.instance42=VLC", Only({"vlc"}), "", "vlc.instance42"},
        Case{"WholeSuffixWithInstance", "vlc.instance42, vlc.instance7", Only({"vlc.instance42"}),
             "", "vlc.instance42"},
        Case{"WholeBusName", "mpv, vlc", Only({P + "vlc"}), "", "vlc"},
        Case{"WholeBusNameTakesInstances", "vlc.instance7", Only({P + "vlc"}), "", "vlc.instance7"},
        Case{"Identity", "vlc=VLC media player", Only({"VLC media player"}), "", "vlc"},
        Case{"IdentityWithMoreWordsIsNotFound", "q=Quorvel extra", Only({"Quorvel"}), "", ""},
        Case{"IdentityPrefixIsNotFound", "vlc=VLC media player", Only({"VLC media"}), "", ""},
        Case{"LetterCaseMatters", "vlc=VLC", Only({"Vlc"}), "", ""},
        Case{"LongerSuffixIsNotFound", "vlcx", Only({"vlc"}), "", ""},
        Case{"EmptyInstanceIsNotFound", "vlc.", Only({"vlc"}), "", ""},
        Case{"NamedProxyIsTaken", "playerctld", Only({"playerctld"}), "", "playerctld"},
        Case{"PlayingMatchFirst", "a.instance1, a.instance2+", Only({"a"}), "a.instance1",
             "a.instance2"},
        Case{"SuffixAndIdentityMatchesByBusName", "zed=mpv, mpv", Only({"mpv"}), "", "mpv"},
        // A list: the earlier name wins, whatever plays; "*" stands for the rest.
        Case{"EarlierInTheListBeforePlaying", "spotify+, vlc.instance9", Only({"vlc", "spotify"}),
             "spotify", "vlc.instance9"},
        Case{"NextInTheListWhenTheFirstIsAbsent", "mpv+, spotify", Only({"vlc", "spotify"}), "",
             "spotify"},
        Case{"UnlistedIsNotTaken", "mpv+", Only({"vlc", "spotify"}), "", ""},
        Case{"AnyOtherAfterTheNamed", "mpv+, spotify", Only({"spotify", "*"}), "", "spotify"},
        Case{"NamedAfterAnyOther", "vlc+, mpv", Only({"*", "vlc"}), "", "mpv"},
        Case{"AnyOtherTakesNoProxy", "playerctld+", Only({"vlc", "*"}), "", ""},
        Case{"IgnoredByBaseName", "chromium.instance3+, vlc", Ignoring({"chromium"}), "", "vlc"},
        Case{"IgnoredByIdentity", "firefox.instance_1_2=Mozilla Firefox+, vlc",
             Ignoring({"Mozilla Firefox"}), "", "vlc"},
        Case{"IgnoredEvenWhenListed", "vlc+, mpv", Only({"vlc", "*"}, {"vlc"}), "", "mpv"},
        Case{"IgnoringAWholeBusNameKeepsOtherInstances", "vlc.instance1+, vlc.instance2",
             Ignoring({P + "vlc.instance1"}), "", "vlc.instance2"}),
    CaseName<Case>);

// Without --player.
INSTANTIATE_TEST_SUITE_P(
    Unnamed, ChooseMprisPlayerCase,
    testing::Values(
        Case{"NothingOnTheBus", "", {}, "", ""},
        Case{"OnlyMprisNames", "/org.example.Player=x+, /org.mpris.MediaPlayer2.=y+", {}, "", ""},
        Case{"LowestBusNameWhenNoneIsPlaying", "mpv, elisa, vlc", {}, "", "elisa"},
        Case{"PlayingBeforeBusName", "elisa, vlc+, mpv+", {}, "", "mpv"},
        // Music started in another player: the next press pauses that one, not the other.
        Case{"PlayingBeforeTheOneCommandedLast", "aaa, zzz+", {}, "aaa", "zzz"},
        Case{"MostRecentlyBecamePlaying", "aaa+@5, mmm+@7, zzz+@6", {}, "aaa", "mmm"},
        Case{"BecamePlayingBeforeWhatWasPlayingAtStart", "aaa+@0, zzz+@1", {}, "aaa", "zzz"},
        Case{"CommandedLastAmongSeveralPlayingSinceStart", "aaa+, mmm+", {}, "mmm", "mmm"},
        Case{"CommandedLastButNotPlaying", "aaa+, mmm+, zzz", {}, "zzz", "aaa"},
        Case{"CommandedLastWhenNoneIsPlaying", "aaa, zzz", {}, "zzz", "zzz"},
        // Music paused by the remote, then a browser that played and stopped by itself:
        // the remote resumes the music, and never starts the browser.
        Case{"PausedByTheRemoteBeforeOneThatStoppedByItself",
             "browser@2, music@1",
             {},
             "music",
             "music"},
        // ... while the browser still plays, play-pause pauses the browser.
        Case{"PausedByTheRemoteWhileAnotherPlays", "browser+@2, music@1", {}, "music", "browser"},
        Case{"CommandedLastHasLeft", "mmm, zzz", {}, "aaa", "mmm"},
        Case{"AnsweringBeforeSilent", "aaa+!, zzz", {}, "aaa", "zzz"},
        Case{"SilentWhenNoOtherFits", "aaa!", {}, "", "aaa"},
        Case{"NeverTheProxy", "playerctld+, vlc", {}, "playerctld", "vlc"},
        Case{"NeverAProxyInstance", "playerctld.1+", {}, "", ""},
        Case{"OnlyTheProxyMeansNone", "playerctld+", {}, "", ""},
        // Where next-player put the remote, it stays, playing or not, answering or not.
        Case{"PinnedBeforePlaying", "aaa+@9, zzz!", {}, "aaa", "zzz", "zzz"},
        Case{"PinnedThatLeft", "aaa", {}, "", "aaa", "zzz"},
        Case{"PinnedThatIsIgnored", "aaa, zzz", Ignoring({"zzz"}), "", "aaa", "zzz"}),
    CaseName<Case>);

struct StepCase {
    const char* name;
    const char* players;
    MprisPlayerFilter filter;
    std::string current;
    int step;
    std::string to;
};

void PrintTo(const StepCase& c, std::ostream* os) {
    *os << c.name;
}

class StepMprisPlayerCase : public testing::TestWithParam<StepCase> {};

TEST_P(StepMprisPlayerCase, MovesTheRemote) {
    const StepCase& c = GetParam();
    EXPECT_EQ(StepMprisPlayer(Players(c.players), c.filter, Bus(c.current), c.step), Bus(c.to));
}

const char* const Three = "mpv, elisa, vlc";

INSTANTIATE_TEST_SUITE_P(
    Cycling, StepMprisPlayerCase,
    testing::Values(StepCase{"NextByBusName", Three, {}, "elisa", 1, "mpv"},
                    StepCase{"NextWrapsRound", Three, {}, "vlc", 1, "elisa"},
                    StepCase{"PreviousWrapsRound", Three, {}, "elisa", -1, "vlc"},
                    StepCase{"NextFromNoneIsTheFirst", Three, {}, "", 1, "elisa"},
                    StepCase{"PreviousFromNoneIsTheLast", Three, {}, "", -1, "vlc"},
                    StepCase{"OneStaysWhereItIs", "vlc", {}, "vlc", 1, "vlc"},
                    StepCase{"NoneFits", "playerctld", {}, "", 1, ""},
                    StepCase{"PassesOverTheProxyAndTheIgnored", "elisa, mpv, playerctld, vlc",
                             Ignoring({"mpv"}), "elisa", 1, "vlc"},
                    StepCase{"InTheOrderOfTheList", Three, Only({"vlc", "*"}), "vlc", 1, "elisa"}),
    CaseName<StepCase>);

// What is said when no player fits: a player that is there but ignored is not called
// missing without a word on why.
TEST(NoMprisPlayerLine, SaysWhenTheIgnoredListHidesANamedPlayer) {
    const std::vector<MprisCandidate> there = Players("mpv=mpv, vlc=VLC media player");
    const std::pair<MprisPlayerFilter, std::string> cases[] = {
        {{}, "no MPRIS player on the bus"},
        {Only({"elisa"}),
         "no MPRIS player named \"elisa\"; on the bus: mpv (\"mpv\"), vlc "
         "(\"VLC media player\")"},
        {Only({"mpv"}, {"mpv"}),
         "no MPRIS player named \"mpv\" that is not ignored: mpv (\"mpv\") is ignored "
         "(ignore-player \"mpv\"); on the bus: mpv (\"mpv\"), vlc (\"VLC media player\")"},
        {Only({"elisa", "VLC media player"}, {"mpv", "vlc"}),
         "no MPRIS player named \"elisa\" or \"VLC media player\" that is not ignored: vlc "
         "(\"VLC media player\") is ignored (ignore-player \"vlc\"); on the bus: mpv (\"mpv\"), "
         "vlc (\"VLC media player\")"},
    };
    for (const auto& [filter, line] : cases) {
        EXPECT_EQ(NoMprisPlayerLine(filter, there), line);
    }
}

}  // namespace
