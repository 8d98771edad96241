#include "serial/line_error_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Decoded output as text: a byte as its value, a line error as "E"; pending results vanish.
std::vector<std::string> Decode(const std::vector<std::uint8_t>& input) {
    LineErrorDecoder decoder;
    std::vector<std::string> out;
    for (const std::uint8_t byte : input) {
        const auto result = decoder.Feed(byte);
        if (result.kind == LineErrorDecoder::Kind::Byte) {
            out.push_back(std::to_string(result.value));
        } else if (result.kind == LineErrorDecoder::Kind::LineError) {
            out.push_back("E");
        }
    }
    return out;
}

struct Case {
    const char* name;
    std::vector<std::uint8_t> input;
    std::vector<std::string> expected;
};

const Case kCases[] = {
    {"plain bytes pass through",
     {0x00, 0x0D, 0x11, 0x13, 0x91, 0xFE},
     {"0", "13", "17", "19", "145", "254"}},
    {"doubled mark is a data byte 255", {0xFF, 0xFF}, {"255"}},
    {"two data bytes 255 in a row", {0xFF, 0xFF, 0xFF, 0xFF}, {"255", "255"}},
    {"marked byte is one line error", {0xFF, 0x00, 0x41}, {"E"}},
    {"break is one line error", {0xFF, 0x00, 0x00}, {"E"}},
    {"marked 0xFF is dropped, not a data byte", {0xFF, 0x00, 0xFF}, {"E"}},
    {"reading goes on after a line error",
     {0x91, 0xFF, 0x00, 0x41, 0x91, 0x60},
     {"145", "E", "145", "96"}},
    {"data 255 right after a line error", {0xFF, 0x00, 0x12, 0xFF, 0xFF, 0x0D}, {"E", "255", "13"}},
    {"unmarked byte after a mark is a line error", {0xFF, 0x41, 0x60}, {"E", "96"}},
    {"half a sequence gives nothing yet", {0x60, 0xFF, 0x00}, {"96"}},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class LineErrorDecoderTest : public testing::TestWithParam<Case> {};

TEST_P(LineErrorDecoderTest, Decodes) {
    EXPECT_EQ(Decode(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sequences, LineErrorDecoderTest, testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(LineErrorDecoderReset, ForgetsHalfReadSequence) {
    LineErrorDecoder decoder;
    EXPECT_EQ(decoder.Feed(0xFF).kind, LineErrorDecoder::Kind::Pending);
    EXPECT_EQ(decoder.Feed(0x00).kind, LineErrorDecoder::Kind::Pending);
    decoder.Reset();
    const auto result = decoder.Feed(0x60);
    EXPECT_EQ(result.kind, LineErrorDecoder::Kind::Byte);
    EXPECT_EQ(result.value, 0x60);
}

// Any byte stream, marked the way the tty marks it with errors mixed in, decodes back to
// the bytes and one error per marked byte, in order.
TEST(LineErrorDecoderRoundTrip, RandomStreams) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> marked;
        std::vector<std::string> expected;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) {
            const auto byte = static_cast<std::uint8_t>(random() % 256);
            if (random() % 8 == 0) {
                marked.insert(marked.end(), {0xFF, 0x00, byte});
                expected.push_back("E");
            } else if (byte == 0xFF) {
                marked.insert(marked.end(), {0xFF, 0xFF});
                expected.push_back("255");
            } else {
                marked.push_back(byte);
                expected.push_back(std::to_string(byte));
            }
        }
        ASSERT_EQ(Decode(marked), expected) << "round " << round;
    }
}

}  // namespace
