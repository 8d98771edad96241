#include "log/untrusted_text.h"

namespace {

void AppendHex(std::string& out, unsigned char byte) {
    static constexpr char Digits[] = "0123456789abcdef";
    out += "\\x";
    out += Digits[byte >> 4];
    out += Digits[byte & 0xf];
}

// The length of the valid UTF-8 sequence at the start of text, or 0 for none.
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned minimum = 0;
    unsigned value = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, minimum = 0x80, value = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, minimum = 0x800, value = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (byte(i) & 0x3f);
    }
    const bool surrogate = value >= 0xd800 && value <= 0xdfff;
    const bool c1 = value >= 0x80 && value <= 0x9f;
    if (value < minimum || value > 0x10ffff || surrogate || c1) {
        return 0;
    }
    return length;
}

}  // namespace

std::string UntrustedText(std::string_view text, std::size_t limit) {
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++characters) {
        if (characters == limit) {
            out += "…";
            break;
        }
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7f) {
            out += text[i++];
        } else if (byte == '\n') {
            out += "\\n", ++i;
        } else if (byte == '\t') {
            out += "\\t", ++i;
        } else if (byte == '\r') {
            out += "\\r", ++i;
        } else if (const std::size_t length = byte >= 0x80 ? Utf8Length(text.substr(i)) : 0;
                   length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            AppendHex(out, byte);
            ++i;
        }
    }
    return out;
}
