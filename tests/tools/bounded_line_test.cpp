#include "tools/bounded_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace {

struct Read {
    std::string line;
    bool tooLong;
};

TEST(BoundedLine, KeepsAtMostTheLimitAndThrowsTheRestAway) {
    struct Case {
        std::string input;
        std::vector<Read> lines;
    } const cases[] = {
        {"", {}},
        {"play\n", {{"play", false}}},
        {"play\nnext", {{"play", false}, {"next", false}}},
        {"\n\n", {{"", false}, {"", false}}},
        {"12345\n", {{"12345", false}}},
        {"123456\nplay\n", {{"12345", true}, {"play", false}}},
        {std::string(1'000'000, 'x') + "\nnext", {{"xxxxx", true}, {"next", false}}},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.input);
        std::vector<Read> lines;
        std::string line;
        bool tooLong = false;
        while (ReadBoundedLine(in, line, 5, tooLong)) {
            lines.push_back({line, tooLong});
            EXPECT_LE(line.capacity(), 64u) << "kept no more than it had to";
        }
        ASSERT_EQ(lines.size(), c.lines.size()) << c.input.substr(0, 20);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].line, c.lines[i].line);
            EXPECT_EQ(lines[i].tooLong, c.lines[i].tooLong);
        }
    }
}

}  // namespace
