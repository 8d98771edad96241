#include "log/untrusted_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UntrustedText, EscapesControlsAndCutsLongText) {
    struct Case {
        std::string text;
        std::size_t limit;
        std::string printed;
    } const cases[] = {
        {"VLC media player", 200, "VLC media player"},
        {"", 200, ""},
        {"\x1b]0;owned\x07", 200, "\\x1b]0;owned\\x07"},  // a terminal title change
        {"\x1b[2J", 200, "\\x1b[2J"},                     // a screen clear
        {"two\nlines\r\tand\x7f", 200, "two\\nlines\\r\\tand\\x7f"},
        {std::string("nul\0byte", 8), 200, "nul\\x00byte"},
        {"caf\xc3\xa9 \xe2\x99\xab", 200, "caf\xc3\xa9 \xe2\x99\xab"},  // UTF-8 kept
        {"\xc2\x9b"
         "31m",
         200, "\\xc2\\x9b31m"},  // a C1 CSI in UTF-8
        {"\x9b"
         "31m",
         200, "\\x9b31m"},                // a bare C1 CSI byte
        {"\xe2\x99", 200, "\\xe2\\x99"},  // a cut UTF-8 sequence
        {"\xc0\xaf", 200, "\\xc0\\xaf"},  // an overlong one
        {"abcdef", 3, "abc…"},
        {"abc", 3, "abc"},
        {"\n\n\n\n", 2, "\\n\\n…"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9", 2, "\xc3\xa9\xc3\xa9…"},  // cut between characters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UntrustedText(c.text, c.limit), c.printed) << c.printed;
    }
}

TEST(UntrustedText, AHugeTextMakesAShortLine) {
    const std::string printed = UntrustedText(std::string(50'000'000, 'x'));
    EXPECT_EQ(printed, std::string(200, 'x') + "…");
}

}  // namespace
