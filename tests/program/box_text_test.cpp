#include "program/box_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "a1\na2\n..." : count numbered lines.
std::string Lines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += (i > 1 ? "\n" : "") + std::string("line ") + std::to_string(i);
    }
    return text;
}

TEST(BoxText, ShowsTheFirstLinesThenHowManyMoreAndWhereAllAre) {
    BoxLimits limits;
    limits.lines = 3;
    limits.columns = 8;
    const struct Case {
        std::string text;
        std::string shown;
    } cases[] = {
        {"", ""},
        {Lines(3), Lines(3)},
        {Lines(4),
         "line 1\nline 2\n\xE2\x80\xA6"
         "and 2 more\n\nsee log"},
        {Lines(40),
         "line 1\nline 2\n\xE2\x80\xA6"
         "and 38 more\n\nsee log"},
        {"12345678\n123456789", "12345678\n12345678\xE2\x80\xA6\n\nsee log"},
        // Cut before a character, never inside it: \xC3\xA9 is é.
        {"1234567\xC3\xA9", "1234567\xE2\x80\xA6\n\nsee log"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FitForBox(c.text, "see log", limits), c.shown) << c.text;
    }
}

// The box wraps a line into rows (here one per 10 bytes begun) and has room for 7: lines
// go until the rest fits, "…and N more" and where all of it is included.
TEST(BoxText, KeepsToTheRowsTheBoxHasRoomFor) {
    BoxLimits limits;
    limits.rows = 7;
    limits.rowsOf = [](const std::string& line) { return (line.size() + 9) / 10; };
    const std::string wide(25, 'w');  // three rows
    const std::string twoMore =
        "\n\xE2\x80\xA6"
        "and 2 more\n\nsee log";
    EXPECT_EQ(FitForBox(wide + "\n" + wide, "see log", limits), wide + "\n" + wide);
    EXPECT_EQ(FitForBox(wide + "\n" + wide + "\n" + wide, "see log", limits), wide + twoMore);
}

}  // namespace
