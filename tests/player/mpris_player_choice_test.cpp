#include "player/mpris_player_choice.h"

#include <gtest/gtest.h>

namespace {

const std::string P = "org.mpris.MediaPlayer2.";
constexpr bool Playing = true;
constexpr bool Paused = false;
constexpr bool Silent = false;

struct Case {
    const char* name;
    std::vector<MprisCandidate> candidates;
    std::string wanted;
    std::string lastCommanded;
    std::string chosen;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class ChooseMprisPlayerCase : public testing::TestWithParam<Case> {};

TEST_P(ChooseMprisPlayerCase, PicksTheExpectedPlayer) {
    const Case& c = GetParam();
    EXPECT_EQ(ChooseMprisPlayer(c.candidates, c.wanted, c.lastCommanded), c.chosen);
}

std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Named, ChooseMprisPlayerCase,
    testing::Values(
        Case{"BusSuffix", {{P + "vlc", "VLC media player"}}, "vlc", "", P + "vlc"},
        Case{"BusSuffixWithInstance",
             {{P + "vlc.instance42", "VLC"}},
             "vlc",
             "",
             P + "vlc.instance42"},
        Case{"WholeSuffixWithInstance",
             {{P + "vlc.instance42", ""}, {P + "vlc.instance7", ""}},
             "vlc.instance42",
             "",
             P + "vlc.instance42"},
        Case{"WholeBusName", {{P + "mpv", ""}, {P + "vlc", ""}}, P + "vlc", "", P + "vlc"},
        Case{"WholeBusNameTakesInstances",
             {{P + "vlc.instance7", ""}},
             P + "vlc",
             "",
             P + "vlc.instance7"},
        Case{"Identity", {{P + "vlc", "VLC media player"}}, "VLC media player", "", P + "vlc"},
        Case{"IdentityWithMoreWordsIsNotFound", {{P + "q", "Quorvel extra"}}, "Quorvel", "", ""},
        Case{"IdentityPrefixIsNotFound", {{P + "vlc", "VLC media player"}}, "VLC media", "", ""},
        Case{"LetterCaseMatters", {{P + "vlc", "VLC"}}, "Vlc", "", ""},
        Case{"LongerSuffixIsNotFound", {{P + "vlcx", ""}}, "vlc", "", ""},
        Case{"EmptyInstanceIsNotFound", {{P + "vlc.", ""}}, "vlc", "", ""},
        Case{"NamedProxyIsTaken", {{P + "playerctld", ""}}, "playerctld", "", P + "playerctld"},
        Case{"PlayingMatchFirst",
             {{P + "a.instance1", "", Paused}, {P + "a.instance2", "", Playing}},
             "a",
             P + "a.instance1",
             P + "a.instance2"},
        Case{"SuffixAndIdentityMatchesByBusName",
             {{P + "zed", "mpv"}, {P + "mpv", ""}},
             "mpv",
             "",
             P + "mpv"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Unnamed, ChooseMprisPlayerCase,
    testing::Values(
        Case{"NothingOnTheBus", {}, "", "", ""},
        Case{"OnlyMprisNames",
             {{"org.example.Player", "x", Playing}, {P, "y", Playing}},
             "",
             "",
             ""},
        Case{"LowestBusNameWhenNoneIsPlaying",
             {{P + "mpv", ""}, {P + "elisa", ""}, {P + "vlc", ""}},
             "",
             "",
             P + "elisa"},
        Case{"PlayingBeforeBusName",
             {{P + "elisa", "", Paused}, {P + "vlc", "", Playing}, {P + "mpv", "", Playing}},
             "",
             "",
             P + "mpv"},
        // Music started in another player: the next press pauses that one, not the other.
        Case{"PlayingBeforeTheOneCommandedLast",
             {{P + "aaa", "", Paused}, {P + "zzz", "", Playing}},
             "",
             P + "aaa",
             P + "zzz"},
        Case{"CommandedLastAmongSeveralPlaying",
             {{P + "aaa", "", Playing}, {P + "mmm", "", Playing}},
             "",
             P + "mmm",
             P + "mmm"},
        Case{"CommandedLastButNotPlaying",
             {{P + "aaa", "", Playing}, {P + "mmm", "", Playing}, {P + "zzz", "", Paused}},
             "",
             P + "zzz",
             P + "aaa"},
        Case{"CommandedLastWhenNoneIsPlaying",
             {{P + "aaa", "", Paused}, {P + "zzz", "", Paused}},
             "",
             P + "zzz",
             P + "zzz"},
        Case{"CommandedLastHasLeft", {{P + "mmm", ""}, {P + "zzz", ""}}, "", P + "aaa", P + "mmm"},
        Case{"AnsweringBeforeSilent",
             {{P + "aaa", "", Playing, Silent}, {P + "zzz", "", Paused}},
             "",
             P + "aaa",
             P + "zzz"},
        Case{"SilentWhenNoOtherFits", {{P + "aaa", "", Paused, Silent}}, "", "", P + "aaa"},
        Case{"NeverTheProxy",
             {{P + "playerctld", "", Playing}, {P + "vlc", "", Paused}},
             "",
             P + "playerctld",
             P + "vlc"},
        Case{"NeverAProxyInstance", {{P + "playerctld.1", "", Playing}}, "", "", ""},
        Case{"OnlyTheProxyMeansNone", {{P + "playerctld", "", Playing}}, "", "", ""}),
    CaseName);

}  // namespace
