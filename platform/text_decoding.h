#pragma once

#include <cstdint>

#include <string>
#include <string_view>

// A text file's bytes as UTF-8 text, for files a user may have saved with any editor:
// UTF-8 with or without a byte order mark, UTF-16 little- or big-endian with one (what
// Windows PowerShell 5.1's ">" writes). The mark is dropped, line ends are kept. Lines end
// in LF or CR LF; a CR alone is refused, not taken as a line end.
struct DecodedText {
    std::string text;
    // Empty when the bytes are text; else what is wrong ("not UTF-8 (byte 0xE9)") and the
    // line it is on, counted from 1.
    std::string problem;
    int problemLine = 0;
};

DecodedText DecodeText(std::string_view bytes);

// The most a settings file or key map may hold: either is a few hundred lines, and a
// larger file is refused before it is read, not read whole first.
inline constexpr std::uintmax_t MostTextFileBytes = 1024 * 1024;
// Why a file of size bytes is refused as such a file; empty when it is not.
std::string WhyTooLarge(std::uintmax_t size);
