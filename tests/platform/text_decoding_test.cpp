#include "platform/text_decoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct Case {
    const char* name;
    std::string bytes;
    std::string text;     // when decoded
    std::string problem;  // the start of the problem, when refused
    int line;
};

// "key 1 play\n" and "é" as each editor saves them.
const Case Cases[] = {
    {"utf8", "key 1 play\n# \xC3\xA9\n", "key 1 play\n# \xC3\xA9\n", "", 0},
    {"utf8 with a mark", "\xEF\xBB\xBFkey 1 play\r\n", "key 1 play\r\n", "", 0},
    {"utf16le with a mark", "\xFF\xFEk\0e\0y\0 \0001\0\r\0\n\0\xE9\0"s, "key 1\r\n\xC3\xA9", "", 0},
    {"utf16be with a mark", "\xFE\xFF\0k\0e\0y\0\n\xD8\x3D\xDE\x00"s, "key\n\xF0\x9F\x98\x80", "",
     0},
    {"empty", "", "", "", 0},
    {"latin1", "key 1 play\n# caf\xE9\n", "", "not UTF-8 text (byte 0xE9)", 2},
    {"overlong", "\xC0\xAF", "", "not UTF-8 text (byte 0xC0)", 1},
    {"surrogate in utf8", "\n\n\xED\xA0\x80", "", "not UTF-8 text (byte 0xED)", 3},
    {"cut sequence", "\xE2\x82", "", "not UTF-8 text (byte 0xE2)", 1},
    {"utf16 without a mark", "k\0e\0y\0"s, "", "not text: a NUL byte", 1},
    {"odd utf16", "\xFF\xFEk\0\n\0x"s, "", "not UTF-16 text: it ends in half", 2},
    {"lone surrogate", "\xFF\xFE\x00\xDC"s, "", "not UTF-16 text: a lone surrogate 0xDC00", 1},
    {"high surrogate alone", "\xFF\xFE\x3D\xD8k\0"s, "", "not UTF-16 text: a lone surrogate", 1},
    {"utf16 nul", "\xFF\xFEk\0\0\0"s, "", "not text: a NUL character", 1},
    {"old mac line ends", "port = a\rconsole = true\r", "", "a line ends in a CR alone", 1},
    {"a cr alone after lf lines", "key 1 play\nkey 2 stop\rkey 3 next\n", "",
     "a line ends in a CR alone", 2},
    {"old mac utf16", "\xFF\xFEk\0\r\0k\0"s, "", "a line ends in a CR alone", 1},
};

TEST(DecodeText, ReadsWhatEditorsSaveAndNamesTheRest) {
    for (const Case& c : Cases) {
        const DecodedText decoded = DecodeText(c.bytes);
        if (c.problem.empty()) {
            EXPECT_EQ(decoded.problem, "") << c.name;
            EXPECT_EQ(decoded.text, c.text) << c.name;
        } else {
            EXPECT_EQ(decoded.problem.rfind(c.problem, 0), 0u) << c.name << ": " << decoded.problem;
            EXPECT_EQ(decoded.problemLine, c.line) << c.name;
        }
    }
}

}  // namespace
