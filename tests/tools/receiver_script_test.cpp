#include "tools/receiver_script.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<unsigned char>;

// All bytes of a script in order, and the pauses before them.
Bytes Flatten(const ParsedScript& s) {
    Bytes out;
    for (const auto& step : s.steps) {
        out.insert(out.end(), step.bytes.begin(), step.bytes.end());
    }
    return out;
}

struct Good {
    const char* line;
    Bytes bytes;
};

void PrintTo(const Good& c, std::ostream* os) {
    *os << '"' << c.line << '"';
}

class ScriptBytes : public testing::TestWithParam<Good> {};

TEST_P(ScriptBytes, SendsWhatTheRealReceiverSends) {
    const ParsedScript s = ParseReceiverScript(SplitWords(GetParam().line));
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(Flatten(s), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Events, ScriptBytes,
                         testing::Values(Good{"play", {0x91, 0x60}}, Good{"prev", {0x91, 0x98}},
                                         Good{"next", {0x91, 0x18}}, Good{"vol+", {0x91, 0xB0}},
                                         Good{"vol-", {0x91, 0x70}},
                                         Good{"hold vol+ 2", {0x91, 0xB0, 0x0D, 0xB0, 0x0D, 0xB0}},
                                         Good{"hold play 0", {0x91, 0x60}},
                                         Good{"raw 0x91 0x2a 5 255 0", {0x91, 0x2A, 5, 255, 0}},
                                         Good{"raw 0x0D play", {0x0D, 0x91, 0x60}},
                                         Good{"wait 10 next", {0x91, 0x18}}, Good{"", {}},
                                         Good{"play # then nothing", {0x91, 0x60}},
                                         Good{"# a comment", {}}));

TEST(ReceiverScript, HeldKeyRepeatsArePacedLikeARealRemote) {
    const ParsedScript s = ParseReceiverScript({"hold", "vol-", "3"});
    ASSERT_EQ(s.steps.size(), 4u);
    EXPECT_EQ(s.steps[0].delayMs, 0);
    for (std::size_t i = 1; i < s.steps.size(); ++i) {
        EXPECT_EQ(s.steps[i].delayMs, HoldRepeatMs);
    }
}

TEST(ReceiverScript, WaitIsAPauseWithoutBytes) {
    const ParsedScript s = ParseReceiverScript({"wait", "250"});
    ASSERT_EQ(s.steps.size(), 1u);
    EXPECT_EQ(s.steps[0].delayMs, 250);
    EXPECT_TRUE(s.steps[0].bytes.empty());
}

struct Bad {
    const char* line;
    const char* named;  // the error must quote the offending word
};

// Names each case by its line, so that the test's name is the same from run to run.
void PrintTo(const Bad& bad, std::ostream* os) {
    *os << bad.line;
}

class ScriptErrors : public testing::TestWithParam<Bad> {};

TEST_P(ScriptErrors, NameTheWordAndSendNothing) {
    const ParsedScript s = ParseReceiverScript(SplitWords(GetParam().line));
    EXPECT_NE(s.error.find(GetParam().named), std::string::npos) << s.error;
    EXPECT_TRUE(s.steps.empty());
}

INSTANTIATE_TEST_SUITE_P(Words, ScriptErrors,
                         testing::Values(Bad{"play bogus", "'bogus'"}, Bad{"PLAY", "'PLAY'"},
                                         Bad{"raw 256", "'256'"}, Bad{"raw -1", "'-1'"},
                                         Bad{"raw 0x", "'0x'"}, Bad{"raw", "raw"},
                                         Bad{"hold eject 3", "'eject'"},
                                         Bad{"hold vol+ many", "'many'"}, Bad{"hold vol+", "hold"},
                                         Bad{"wait soon", "wait"}, Bad{"wait", "wait"}));

}  // namespace
