#include "lircd/lircd_line_decoder.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsHex(std::string_view word) {
    return !word.empty() && word.size() <= 16 && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    });
}

bool IsPrintable(std::string_view line) {
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c == '\t' || (c >= 0x20 && c < 0x7f); });
}

// The next word of rest, taken off its front.
std::string_view NextWord(std::string_view& rest) {
    const auto start = std::min(rest.find_first_not_of(" \t"), rest.size());
    rest.remove_prefix(start);
    const auto end = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

}  // namespace

void LircdLineDecoder::Feed(std::string_view bytes, std::vector<Line>& lines) {
    while (!bytes.empty()) {
        const auto newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (!overlong_) {
            if (partial_.size() + piece.size() > LongestLine) {
                overlong_ = true;
                partial_.clear();
            } else {
                partial_.append(piece);
            }
        }
        if (newline == std::string_view::npos) {
            return;
        }
        bytes.remove_prefix(newline + 1);
        Complete(lines);
    }
}

void LircdLineDecoder::Reset() {
    partial_.clear();
    overlong_ = false;
    blockLines_ = -1;
}

void LircdLineDecoder::Complete(std::vector<Line>& lines) {
    const bool overlong = overlong_;
    overlong_ = false;
    std::string_view line = partial_;
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    const auto done = [&](Line outcome) {
        lines.push_back(std::move(outcome));
        partial_.clear();
    };
    if (blockLines_ >= 0) {
        if (Line button = ButtonLine(line); button.event || button.junk == Junk::BadName) {
            blockLines_ = -1;
            done({std::nullopt, Junk::UnendedBlock});
            return done(std::move(button));
        }
        if (line == "END" || ++blockLines_ > LongestReplyBlock) {
            blockLines_ = -1;
        }
        partial_.clear();
        return;
    }
    if (overlong) {
        return done({std::nullopt, Junk::TooLong});
    }
    if (!IsPrintable(line)) {
        return done({std::nullopt, Junk::Binary});
    }
    if (line == "BEGIN") {
        blockLines_ = 0;
        return done({std::nullopt, Junk::ReplyBlock});
    }
    done(ButtonLine(line));
}

LircdLineDecoder::Line LircdLineDecoder::ButtonLine(std::string_view line) {
    std::string_view rest = line;
    const std::string_view code = NextWord(rest);
    const std::string_view repeat = NextWord(rest);
    const std::string_view button = NextWord(rest);
    const std::string_view remote = NextWord(rest);
    if (!IsHex(code) || !IsHex(repeat) || button.empty() || remote.empty() ||
        !NextWord(rest).empty() || !IsPrintable(line)) {
        return {std::nullopt, Junk::Malformed};
    }
    std::string why;
    std::optional<Key> key = Key::FromName(button, why);
    if (!key || !Key::WhyNotAName(remote).empty()) {
        return {std::nullopt, Junk::BadName};
    }
    const bool held = repeat.find_first_not_of('0') != std::string_view::npos;
    return {KeyEvent{held ? KeyAction::Repeat : KeyAction::Press, std::move(*key),
                     std::string(remote)}};
}

const char* LircdLineDecoder::Describe(Junk junk) {
    switch (junk) {
        case Junk::ReplyBlock:
            return "a reply block (BEGIN ... END)";
        case Junk::Malformed:
            return "a line that is not CODE REPEAT BUTTON REMOTE";
        case Junk::TooLong:
            return "a line over 256 bytes";
        case Junk::Binary:
            return "a line with bytes that are not text";
        case Junk::UnendedBlock:
            return "a reply block (BEGIN) that never ended before a button line";
        case Junk::BadName:
            return "a button or remote name over 64 bytes or with control characters";
    }
    return "junk";
}
