#include "keymap/key_list_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>

#include "log/untrusted_text.h"
#include "text/number_text.h"

namespace {

constexpr char Quote = '"';
constexpr char Escape = '\\';

// A key's name as a source gives it: a kernel key name (KEY_PLAYPAUSE) or an lircd
// button, optionally after the remote's name and a colon (accept:KEY_OK).
bool IsKeyName(std::string_view word) {
    const auto IsNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' ||
               c == '.' || c == '+';
    };
    const auto colon = word.find(':');
    const std::string_view remote = colon == std::string_view::npos ? "" : word.substr(0, colon);
    const std::string_view name = colon == std::string_view::npos ? word : word.substr(colon + 1);
    return !name.empty() && std::isalpha(static_cast<unsigned char>(name.front())) != 0 &&
           std::all_of(name.begin(), name.end(), IsNameChar) &&
           (colon == std::string_view::npos ||
            (!remote.empty() && std::all_of(remote.begin(), remote.end(), IsNameChar)));
}

// Takes a name in quotes off the front of word, up to the comma after it; the problem, or
// empty.
std::string TakeQuotedName(std::string_view& word, std::string& name) {
    std::size_t i = 1;
    for (; i < word.size() && word[i] != Quote; ++i) {
        if (word[i] == Escape && i + 1 < word.size()) {
            if (word[i + 1] != Quote && word[i + 1] != Escape) {
                return "\"" + UntrustedText(word.substr(i, 2)) +
                       "\" in a key's name in quotes: the escapes are \\\" and \\\\";
            }
            ++i;
        }
        name += word[i];
    }
    if (i >= word.size()) {
        return "a key's name in quotes ends with a quote, as in: key \"ch/up\" next";
    }
    if (name.empty()) {
        return "a key's name in quotes is not empty";
    }
    word.remove_prefix(i + 1);
    if (!word.empty() && word.front() != ',') {
        return "after a key's name in quotes comes a comma or a blank, not \"" +
               UntrustedText(word.substr(0, word.find(','))) + "\"";
    }
    return {};
}

}  // namespace

std::string ParseKeyList(std::string_view word, std::vector<Key>& keys) {
    for (;;) {
        if (word.starts_with(Quote)) {
            std::string name;
            if (std::string why = TakeQuotedName(word, name); !why.empty()) {
                return why;
            }
            keys.push_back(Key::Name(std::move(name)));
        } else {
            const auto comma = std::min(word.find(','), word.size());
            const std::string_view piece = word.substr(0, comma);
            word.remove_prefix(comma);
            if (piece.starts_with(Key::ScanPrefix)) {
                const auto scancode = ParseNumber(piece.substr(Key::ScanPrefix.size()));
                if (!scancode || *scancode > 0xffffffffUL) {
                    return "\"" + UntrustedText(piece) +
                           "\" is not a scancode (scan: and a number up to 0xffffffff)";
                }
                keys.push_back(Key::Scancode(static_cast<std::uint32_t>(*scancode)));
            } else if (piece.empty() ||
                       std::isalpha(static_cast<unsigned char>(piece.front())) == 0) {
                const auto code = ParseNumber(piece);
                if (!code || *code > 255) {
                    return "\"" + UntrustedText(piece) +
                           "\" is not a key code (0 to 255, or 0x00 to 0xff)";
                }
                keys.push_back(Key::Code(static_cast<int>(*code)));
            } else if (IsKeyName(piece)) {
                keys.push_back(Key::Name(std::string(piece)));
            } else {
                return "\"" + UntrustedText(piece) +
                       "\" is not a key name (such as KEY_PLAYPAUSE, or accept:KEY_OK for the "
                       "remote named accept; any other in double quotes, as in \"ch/up\")";
            }
        }
        if (word.empty()) {
            return {};
        }
        word.remove_prefix(1);  // the comma
    }
}

std::string KeyListText(const std::vector<Key>& keys) {
    std::string text;
    for (const Key& key : keys) {
        if (!text.empty()) {
            text += ',';
        }
        const std::string bare = key.Text();
        std::vector<Key> read;
        if (key.GetKind() != Key::Kind::Name ||
            (ParseKeyList(bare, read).empty() && read == std::vector<Key>{key})) {
            text += bare;
            continue;
        }
        text += Quote;
        for (const char c : bare) {
            if (c == Quote || c == Escape) {
                text += Escape;
            }
            text += c;
        }
        text += Quote;
    }
    return text;
}

std::map<Key, std::string> KeySpellings(std::string_view list) {
    std::map<Key, std::string> spelled;
    for (;;) {
        std::size_t end = 0;  // the comma after this piece, outside quotes
        for (bool quoted = false; end < list.size() && (quoted || list[end] != ','); ++end) {
            if (list[end] == Quote) {
                quoted = !quoted;
            } else if (quoted && list[end] == Escape) {
                ++end;
            }
        }
        const std::string_view piece = list.substr(0, std::min(end, list.size()));
        std::vector<Key> keys;
        if (ParseKeyList(piece, keys).empty() && keys.size() == 1) {
            spelled.emplace(keys.front(), piece);
        }
        if (end >= list.size()) {
            return spelled;
        }
        list.remove_prefix(end + 1);
    }
}
