#include "player/mpris_player_choice.h"

#include <gtest/gtest.h>

namespace {

const std::string P = "org.mpris.MediaPlayer2.";

struct Case {
    const char* name;
    std::vector<MprisCandidate> candidates;
    std::string wanted;
    std::string chosen;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class ChooseMprisPlayerCase : public testing::TestWithParam<Case> {};

TEST_P(ChooseMprisPlayerCase, PicksTheExpectedPlayer) {
    const Case& c = GetParam();
    EXPECT_EQ(ChooseMprisPlayer(c.candidates, c.wanted), c.chosen);
}

INSTANTIATE_TEST_SUITE_P(
    Named, ChooseMprisPlayerCase,
    testing::Values(
        Case{"BusSuffix", {{P + "vlc", "VLC media player"}}, "vlc", P + "vlc"},
        Case{"BusSuffixWithInstance", {{P + "vlc.instance42", "VLC"}}, "vlc", P + "vlc.instance42"},
        Case{"WholeSuffixWithInstance",
             {{P + "vlc.instance42", ""}, {P + "vlc.instance7", ""}},
             "vlc.instance42",
             P + "vlc.instance42"},
        Case{"Identity", {{P + "vlc", "VLC media player"}}, "VLC media player", P + "vlc"},
        Case{"IdentityWithMoreWordsIsNotFound", {{P + "q", "Quorvel extra"}}, "Quorvel", ""},
        Case{"IdentityPrefixIsNotFound", {{P + "vlc", "VLC media player"}}, "VLC media", ""},
        Case{"LetterCaseMatters", {{P + "vlc", "VLC"}}, "Vlc", ""},
        Case{"LongerSuffixIsNotFound", {{P + "vlcx", ""}}, "vlc", ""},
        Case{"EmptyInstanceIsNotFound", {{P + "vlc.", ""}}, "vlc", ""},
        Case{"BusPrefixIsNotAName", {{P + "vlc", ""}}, "org.mpris.MediaPlayer2.vlc", ""},
        Case{"NamedProxyIsTaken", {{P + "playerctld", ""}}, "playerctld", P + "playerctld"},
        Case{"PlayingMatchFirst",
             {{P + "a.instance1", "", false}, {P + "a.instance2", "", true}},
             "a",
             P + "a.instance2"},
        Case{"SuffixAndIdentityMatchesByBusName",
             {{P + "zed", "mpv"}, {P + "mpv", ""}},
             "mpv",
             P + "mpv"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Unnamed, ChooseMprisPlayerCase,
    testing::Values(
        Case{"NothingOnTheBus", {}, "", ""},
        Case{"OnlyMprisNames", {{"org.example.Player", "x", true}, {P, "y", true}}, "", ""},
        Case{"LowestBusNameWhenNoneIsPlaying",
             {{P + "mpv", ""}, {P + "elisa", ""}, {P + "vlc", ""}},
             "",
             P + "elisa"},
        Case{"PlayingBeforeBusName",
             {{P + "elisa", "", false}, {P + "vlc", "", true}, {P + "mpv", "", true}},
             "",
             P + "mpv"},
        Case{
            "NeverTheProxy", {{P + "playerctld", "", true}, {P + "vlc", "", false}}, "", P + "vlc"},
        Case{"NeverAProxyInstance", {{P + "playerctld.1", "", true}}, "", ""},
        Case{"OnlyTheProxyMeansNone", {{P + "playerctld", "", true}}, "", ""}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ChooseMprisPlayer, OrderOfTheListDoesNotMatter) {
    std::vector<MprisCandidate> c{{P + "b", "", true},
                                  {P + "a", "", false},
                                  {P + "c", "", true},
                                  {P + "playerctld", "", true}};
    const std::string first = ChooseMprisPlayer(c, "");
    std::sort(c.begin(), c.end(), [](const MprisCandidate& x, const MprisCandidate& y) {
        return x.busName < y.busName;
    });
    do {
        ASSERT_EQ(ChooseMprisPlayer(c, ""), first);
    } while (std::next_permutation(
        c.begin(), c.end(),
        [](const MprisCandidate& x, const MprisCandidate& y) { return x.busName < y.busName; }));
    EXPECT_EQ(first, P + "b");
}

}  // namespace
