#include "platform/text_decoding.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LeMark = "\xFF\xFE";
constexpr std::string_view Utf16BeMark = "\xFE\xFF";

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

int LineAt(std::string_view text, std::size_t offset) {
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
}

void AppendUtf8(std::string& text, std::uint32_t code) {
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence at the start of bytes, 0 when there is none
// (overlong forms, surrogates and code points past U+10FFFF are not well-formed).
std::size_t SequenceLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

DecodedText CheckUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        if (bytes[at] == '\0') {
            return {
                {}, "not text: a NUL byte (UTF-16 without a byte order mark?)", LineAt(bytes, at)};
        }
        const std::size_t length = SequenceLength(bytes.substr(at));
        if (length == 0) {
            return {{},
                    "not UTF-8 text (byte " + Hex(static_cast<unsigned char>(bytes[at]), 2) +
                        "): save it as UTF-8 or UTF-16",
                    LineAt(bytes, at)};
        }
        at += length;
    }
    return {std::string(bytes), {}, 0};
}

DecodedText DecodeUtf16(std::string_view bytes, bool bigEndian) {
    DecodedText decoded;
    const auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<std::uint32_t>(bigEndian ? (first << 8) | second
                                                    : (second << 8) | first);
    };
    const auto fail = [&](std::string problem) {
        const int line = LineAt(decoded.text, decoded.text.size());
        return DecodedText{{}, std::move(problem), line};
    };
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        if (at + 1 >= bytes.size()) {
            return fail("not UTF-16 text: it ends in half a character");
        }
        std::uint32_t code = unit(at);
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return fail("not UTF-16 text: a lone surrogate " + Hex(code, 4));
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            const std::uint32_t next = at + 3 < bytes.size() ? unit(at + 2) : 0;
            if (next < 0xDC00 || next > 0xDFFF) {
                return fail("not UTF-16 text: a lone surrogate " + Hex(code, 4));
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (next - 0xDC00);
            at += 2;
        }
        if (code == 0) {
            return fail("not text: a NUL character");
        }
        AppendUtf8(decoded.text, code);
    }
    return decoded;
}

}  // namespace

namespace {

DecodedText Decoded(std::string_view bytes) {
    if (bytes.starts_with(Utf8Mark)) {
        return CheckUtf8(bytes.substr(Utf8Mark.size()));
    }
    if (bytes.starts_with(Utf16LeMark)) {
        return DecodeUtf16(bytes.substr(Utf16LeMark.size()), false);
    }
    if (bytes.starts_with(Utf16BeMark)) {
        return DecodeUtf16(bytes.substr(Utf16BeMark.size()), true);
    }
    return CheckUtf8(bytes);
}

}  // namespace

DecodedText DecodeText(std::string_view bytes) {
    DecodedText decoded = Decoded(bytes);
    // Old Mac OS ended lines with a CR alone: read by LF, the whole file would be one line,
    // its first value swallowing every later setting or binding.
    for (std::size_t at = decoded.text.find('\r'); at != std::string::npos;
         at = decoded.text.find('\r', at + 1)) {
        if (at + 1 == decoded.text.size() || decoded.text[at + 1] != '\n') {
            return {{},
                    "a line ends in a CR alone (old Mac line ends): save it with LF or CR LF "
                    "line ends",
                    LineAt(decoded.text, at)};
        }
    }
    return decoded;
}

std::string WhyTooLarge(std::uintmax_t size) {
    if (size <= MostTextFileBytes) {
        return {};
    }
    return "too large to be read (" + std::to_string(size) + " bytes; at most " +
           std::to_string(MostTextFileBytes) + ")";
}
