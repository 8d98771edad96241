#include "player/mpris_player_choice.h"

#include <gtest/gtest.h>

namespace {

const std::string P = "org.mpris.MediaPlayer2.";
constexpr bool Playing = true;
constexpr bool Paused = false;
constexpr bool Answers = true;
constexpr bool Silent = false;

// --player's list, and --ignore-player's names.
MprisPlayerFilter Only(std::vector<std::string> preferred, std::vector<std::string> ignored = {}) {
    return {std::move(preferred), std::move(ignored)};
}
MprisPlayerFilter Ignoring(std::vector<std::string> ignored) {
    return {{}, std::move(ignored)};
}

struct Case {
    const char* name;
    std::vector<MprisCandidate> candidates;
    MprisPlayerFilter filter;
    std::string lastCommanded;
    std::string chosen;
    std::string pinned = {};
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class ChooseMprisPlayerCase : public testing::TestWithParam<Case> {};

TEST_P(ChooseMprisPlayerCase, PicksTheExpectedPlayer) {
    const Case& c = GetParam();
    EXPECT_EQ(ChooseMprisPlayer(c.candidates, c.filter, c.lastCommanded, c.pinned), c.chosen);
}

template <typename C>
std::string CaseName(const testing::TestParamInfo<C>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Named, ChooseMprisPlayerCase,
    testing::Values(
        Case{"BusSuffix", {{P + "vlc", "VLC media player"}}, Only({"vlc"}), "", P + "vlc"},
        Case{"BusSuffixWithInstance",
             {{P + "vlc.instance42", "VLC"}},
             Only({"vlc"}),
             "",
             P + "vlc.instance42"},
        Case{"WholeSuffixWithInstance",
             {{P + "vlc.instance42", ""}, {P + "vlc.instance7", ""}},
             Only({"vlc.instance42"}),
             "",
             P + "vlc.instance42"},
        Case{"WholeBusName", {{P + "mpv", ""}, {P + "vlc", ""}}, Only({P + "vlc"}), "", P + "vlc"},
        Case{"WholeBusNameTakesInstances",
             {{P + "vlc.instance7", ""}},
             Only({P + "vlc"}),
             "",
             P + "vlc.instance7"},
        Case{"Identity",
             {{P + "vlc", "VLC media player"}},
             Only({"VLC media player"}),
             "",
             P + "vlc"},
        Case{"IdentityWithMoreWordsIsNotFound",
             {{P + "q", "Quorvel extra"}},
             Only({"Quorvel"}),
             "",
             ""},
        Case{"IdentityPrefixIsNotFound",
             {{P + "vlc", "VLC media player"}},
             Only({"VLC media"}),
             "",
             ""},
        Case{"LetterCaseMatters", {{P + "vlc", "VLC"}}, Only({"Vlc"}), "", ""},
        Case{"LongerSuffixIsNotFound", {{P + "vlcx", ""}}, Only({"vlc"}), "", ""},
        Case{"EmptyInstanceIsNotFound", {{P + "vlc.", ""}}, Only({"vlc"}), "", ""},
        Case{"NamedProxyIsTaken",
             {{P + "playerctld", ""}},
             Only({"playerctld"}),
             "",
             P + "playerctld"},
        Case{"PlayingMatchFirst",
             {{P + "a.instance1", "", Paused}, {P + "a.instance2", "", Playing}},
             Only({"a"}),
             P + "a.instance1",
             P + "a.instance2"},
        Case{"SuffixAndIdentityMatchesByBusName",
             {{P + "zed", "mpv"}, {P + "mpv", ""}},
             Only({"mpv"}),
             "",
             P + "mpv"},
        // A list: the earlier name wins, whatever plays; "*" stands for the rest.
        Case{"EarlierInTheListBeforePlaying",
             {{P + "spotify", "", Playing}, {P + "vlc.instance9", "", Paused}},
             Only({"vlc", "spotify"}),
             P + "spotify",
             P + "vlc.instance9"},
        Case{"NextInTheListWhenTheFirstIsAbsent",
             {{P + "mpv", "", Playing}, {P + "spotify", "", Paused}},
             Only({"vlc", "spotify"}),
             "",
             P + "spotify"},
        Case{"UnlistedIsNotTaken", {{P + "mpv", "", Playing}}, Only({"vlc", "spotify"}), "", ""},
        Case{"AnyOtherAfterTheNamed",
             {{P + "mpv", "", Playing}, {P + "spotify", "", Paused}},
             Only({"spotify", "*"}),
             "",
             P + "spotify"},
        Case{"NamedAfterAnyOther",
             {{P + "vlc", "", Playing}, {P + "mpv", "", Paused}},
             Only({"*", "vlc"}),
             "",
             P + "mpv"},
        Case{"AnyOtherTakesNoProxy", {{P + "playerctld", "", Playing}}, Only({"vlc", "*"}), "", ""},
        Case{"IgnoredByBaseName",
             {{P + "chromium.instance3", "", Playing}, {P + "vlc", "", Paused}},
             Ignoring({"chromium"}),
             "",
             P + "vlc"},
        Case{"IgnoredByIdentity",
             {{P + "firefox.instance_1_2", "Mozilla Firefox", Playing}, {P + "vlc", "", Paused}},
             Ignoring({"Mozilla Firefox"}),
             "",
             P + "vlc"},
        Case{"IgnoredEvenWhenListed",
             {{P + "vlc", "", Playing}, {P + "mpv", "", Paused}},
             Only({"vlc", "*"}, {"vlc"}),
             "",
             P + "mpv"},
        Case{"IgnoringAWholeBusNameKeepsOtherInstances",
             {{P + "vlc.instance1", "", Playing}, {P + "vlc.instance2", "", Paused}},
             Ignoring({P + "vlc.instance1"}),
             "",
             P + "vlc.instance2"}),
    CaseName<Case>);

// Without --player; becamePlaying is the last field.
INSTANTIATE_TEST_SUITE_P(
    Unnamed, ChooseMprisPlayerCase,
    testing::Values(
        Case{"NothingOnTheBus", {}, {}, "", ""},
        Case{"OnlyMprisNames",
             {{"org.example.Player", "x", Playing}, {P, "y", Playing}},
             {},
             "",
             ""},
        Case{"LowestBusNameWhenNoneIsPlaying",
             {{P + "mpv", ""}, {P + "elisa", ""}, {P + "vlc", ""}},
             {},
             "",
             P + "elisa"},
        Case{"PlayingBeforeBusName",
             {{P + "elisa", "", Paused}, {P + "vlc", "", Playing}, {P + "mpv", "", Playing}},
             {},
             "",
             P + "mpv"},
        // Music started in another player: the next press pauses that one, not the other.
        Case{"PlayingBeforeTheOneCommandedLast",
             {{P + "aaa", "", Paused}, {P + "zzz", "", Playing}},
             {},
             P + "aaa",
             P + "zzz"},
        Case{"MostRecentlyBecamePlaying",
             {{P + "aaa", "", Playing, Answers, 5},
              {P + "mmm", "", Playing, Answers, 7},
              {P + "zzz", "", Playing, Answers, 6}},
             {},
             P + "aaa",
             P + "mmm"},
        Case{"BecamePlayingBeforeWhatWasPlayingAtStart",
             {{P + "aaa", "", Playing, Answers, 0}, {P + "zzz", "", Playing, Answers, 1}},
             {},
             P + "aaa",
             P + "zzz"},
        Case{"CommandedLastAmongSeveralPlayingSinceStart",
             {{P + "aaa", "", Playing}, {P + "mmm", "", Playing}},
             {},
             P + "mmm",
             P + "mmm"},
        Case{"CommandedLastButNotPlaying",
             {{P + "aaa", "", Playing}, {P + "mmm", "", Playing}, {P + "zzz", "", Paused}},
             {},
             P + "zzz",
             P + "aaa"},
        Case{"CommandedLastWhenNoneIsPlaying",
             {{P + "aaa", "", Paused}, {P + "zzz", "", Paused}},
             {},
             P + "zzz",
             P + "zzz"},
        // Music paused by the remote, then a browser that played and stopped by itself:
        // the remote resumes the music, and never starts the browser.
        Case{"PausedByTheRemoteBeforeOneThatStoppedByItself",
             {{P + "browser", "", Paused, Answers, 2}, {P + "music", "", Paused, Answers, 1}},
             {},
             P + "music",
             P + "music"},
        // ... while the browser still plays, play-pause pauses the browser.
        Case{"PausedByTheRemoteWhileAnotherPlays",
             {{P + "browser", "", Playing, Answers, 2}, {P + "music", "", Paused, Answers, 1}},
             {},
             P + "music",
             P + "browser"},
        Case{"CommandedLastHasLeft", {{P + "mmm", ""}, {P + "zzz", ""}}, {}, P + "aaa", P + "mmm"},
        Case{"AnsweringBeforeSilent",
             {{P + "aaa", "", Playing, Silent}, {P + "zzz", "", Paused}},
             {},
             P + "aaa",
             P + "zzz"},
        Case{"SilentWhenNoOtherFits", {{P + "aaa", "", Paused, Silent}}, {}, "", P + "aaa"},
        Case{"NeverTheProxy",
             {{P + "playerctld", "", Playing}, {P + "vlc", "", Paused}},
             {},
             P + "playerctld",
             P + "vlc"},
        Case{"NeverAProxyInstance", {{P + "playerctld.1", "", Playing}}, {}, "", ""},
        Case{"OnlyTheProxyMeansNone", {{P + "playerctld", "", Playing}}, {}, "", ""},
        // Where next-player put the remote, it stays, playing or not, answering or not.
        Case{"PinnedBeforePlaying",
             {{P + "aaa", "", Playing, Answers, 9}, {P + "zzz", "", Paused, Silent}},
             {},
             P + "aaa",
             P + "zzz",
             P + "zzz"},
        Case{"PinnedThatLeft", {{P + "aaa", "", Paused}}, {}, "", P + "aaa", P + "zzz"},
        Case{"PinnedThatIsIgnored",
             {{P + "aaa", "", Paused}, {P + "zzz", "", Paused}},
             Ignoring({"zzz"}),
             "",
             P + "aaa",
             P + "zzz"}),
    CaseName<Case>);

struct StepCase {
    const char* name;
    std::vector<MprisCandidate> candidates;
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
    EXPECT_EQ(StepMprisPlayer(c.candidates, c.filter, c.current, c.step), c.to);
}

const std::vector<MprisCandidate> Three{{P + "mpv", ""}, {P + "elisa", ""}, {P + "vlc", ""}};

INSTANTIATE_TEST_SUITE_P(
    Cycling, StepMprisPlayerCase,
    testing::Values(
        StepCase{"NextByBusName", Three, {}, P + "elisa", 1, P + "mpv"},
        StepCase{"NextWrapsRound", Three, {}, P + "vlc", 1, P + "elisa"},
        StepCase{"PreviousWrapsRound", Three, {}, P + "elisa", -1, P + "vlc"},
        StepCase{"NextFromNoneIsTheFirst", Three, {}, "", 1, P + "elisa"},
        StepCase{"PreviousFromNoneIsTheLast", Three, {}, "", -1, P + "vlc"},
        StepCase{"OneStaysWhereItIs", {{P + "vlc", ""}}, {}, P + "vlc", 1, P + "vlc"},
        StepCase{"NoneFits", {{P + "playerctld", ""}}, {}, "", 1, ""},
        StepCase{"PassesOverTheProxyAndTheIgnored",
                 {{P + "elisa", ""}, {P + "mpv", ""}, {P + "playerctld", ""}, {P + "vlc", ""}},
                 Ignoring({"mpv"}),
                 P + "elisa",
                 1,
                 P + "vlc"},
        StepCase{"InTheOrderOfTheList", Three, Only({"vlc", "*"}), P + "vlc", 1, P + "elisa"}),
    CaseName<StepCase>);

}  // namespace

namespace {

// What is said when no player fits: a player that is there but ignored is not called
// missing without a word on why.
TEST(NoMprisPlayerLine, SaysWhenTheIgnoredListHidesANamedPlayer) {
    const std::vector<MprisCandidate> there{{P + "mpv", "mpv"}, {P + "vlc", "VLC media player"}};
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
