#include "options/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "keymap/key_map_file.h"
#include "platform/file_replacement.h"
#include "platform/text_decoding.h"
#include "platform/utf8_path.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view Blanks = " \t\r";

std::string_view Trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(Blanks);
    if (start == std::string_view::npos) {
        return {};
    }
    return text.substr(start, text.find_last_not_of(Blanks) - start + 1);
}

// One line of the file: nothing (an empty line, a comment), a setting, or a problem.
struct ParsedLine {
    bool setsSomething = false;
    std::string key;
    std::string value;
    std::string problem;
};

ParsedLine ParseLine(std::string_view line) {
    ParsedLine parsed;
    line = Trimmed(line);
    if (line.empty() || line.front() == '#' || line.front() == ';') {
        return parsed;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        parsed.problem = "expected NAME = VALUE";
        return parsed;
    }
    parsed.setsSomething = true;
    parsed.key = Trimmed(line.substr(0, equals));
    std::string_view value = Trimmed(line.substr(equals + 1));
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        const std::size_t close = value.find(value.front(), 1);
        // Only a note may follow the closing quote.
        const std::string_view after =
            close == std::string_view::npos ? "?" : Trimmed(value.substr(close + 1));
        if (!after.empty() && after.front() != '#') {
            parsed.problem = "a quoted value must end with its quote";
            return parsed;
        }
        parsed.value = value.substr(1, close - 1);
    } else {
        // "port = /dev/ttyUSB0  # the adapter": the note is not the port's.
        for (std::size_t at = 0; at < value.size(); ++at) {
            if (value[at] == '#' && (at == 0 || value[at - 1] == ' ' || value[at - 1] == '\t')) {
                value = Trimmed(value.substr(0, at));
                break;
            }
        }
        parsed.value = value;
    }
    if (parsed.key.empty()) {
        parsed.problem = "expected NAME = VALUE";
    }
    return parsed;
}

// The file's bytes as text. False, with why in problem (and the line, when it is about one),
// when there is none or it cannot be read as text.
bool ReadText(const fs::path& file, bool& exists, std::string& text, std::string& problem,
              int& problemLine) {
    std::error_code error;
    const fs::file_status status = fs::status(file, error);
    // Only a file that is not there is absent: one that cannot be looked at (a folder
    // without access, a loop of links) is a problem to name.
    exists = status.type() != fs::file_type::not_found;
    if (!exists || status.type() == fs::file_type::none) {
        problem = exists ? "cannot read it: " + error.message() : "no such file";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        problem = "not a file";
        return false;
    }
    if (const auto size = fs::file_size(file, error); !error && !WhyTooLarge(size).empty()) {
        problem = WhyTooLarge(size);
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    // An empty file is read as nothing, which the stream counts as a failure.
    if (!in || (in.peek() != std::ifstream::traits_type::eof() && !(bytes << in.rdbuf()))) {
        problem = std::string("cannot read it: ") + std::strerror(errno);
        return false;
    }
    // Notepad and PowerShell write a byte order mark, or UTF-16.
    DecodedText decoded = DecodeText(bytes.str());
    if (!decoded.problem.empty()) {
        problem = decoded.problem;
        problemLine = decoded.problemLine;
        return false;
    }
    text = std::move(decoded.text);
    return true;
}

}  // namespace

std::string SettingLine(std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos ||
        (value.find('"') != std::string_view::npos && value.find('\'') != std::string_view::npos)) {
        return {};
    }
    const bool plain = !value.empty() && value == Trimmed(value) && value.front() != '"' &&
                       value.front() != '\'' && value.find('#') == std::string_view::npos;
    if (plain) {
        return std::string(key) + " = " + std::string(value);
    }
    const char quote = value.find('"') == std::string_view::npos ? '"' : '\'';
    return std::string(key) + " = " + quote + std::string(value) + quote;
}

fs::path DefaultSettingsPath() {
    return KeyMapFile::DefaultPath().parent_path() / "quorvel.conf";
}

SettingsRead ReadSettings(const fs::path& file) {
    SettingsRead read;
    std::string text;
    if (!ReadText(file, read.exists, text, read.problem, read.problemLine)) {
        return read;
    }
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        ParsedLine parsed = ParseLine(line);
        if (!parsed.problem.empty()) {
            read.problem = parsed.problem;
            read.problemLine = number;
            return read;
        }
        if (parsed.setsSomething) {
            read.settings.push_back({number, std::move(parsed.key), std::move(parsed.value)});
        }
    }
    return read;
}

bool SaveSetting(const fs::path& file, std::string_view key, std::string_view value,
                 std::string& problem, const std::vector<std::string_view>& replacing, bool add,
                 Backups backups) {
    const std::string setting = SettingLine(key, value);
    if (setting.empty()) {
        problem = "a value with a line break or both quotes cannot be saved";
        return false;
    }
    std::string text;
    bool exists = false;
    int problemLine = 0;
    if (!ReadText(file, exists, text, problem, problemLine) && exists) {
        problem = Utf8FromPath(file) + ":" +
                  (problemLine > 0 ? std::to_string(problemLine) + ":" : "") + " " + problem;
        return false;
    }
    problem.clear();
    struct Line {
        std::size_t start, length, end;  // end: past its line break
        bool replaced;
    };
    // The lines that give way, in order; the one rewritten is the last that sets key (the
    // one in force), else the last of them.
    std::vector<Line> lines;
    std::size_t rewrite = std::string::npos;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const ParsedLine parsed = ParseLine(line);
        if (add) {
            if (parsed.setsSomething && parsed.key == key && parsed.value == value) {
                return true;  // there already
            }
            start = end + 1;
            continue;
        }
        const bool replaced =
            std::find(replacing.begin(), replacing.end(), parsed.key) != replacing.end();
        if (parsed.setsSomething && (replaced || parsed.key == key)) {
            if (parsed.key == key) {
                rewrite = lines.size();
            }
            lines.push_back({start, line.size(), std::min(end + 1, text.size()), replaced});
        }
        start = end + 1;
    }
    if (rewrite == std::string::npos && !lines.empty()) {
        rewrite = lines.size() - 1;
    }
    // From the last, so that the places of those before stay as they were.
    for (std::size_t i = lines.size(); i-- > 0;) {
        if (i == rewrite) {
            text.replace(lines[i].start, lines[i].length, setting);
        } else if (lines[i].replaced) {
            text.erase(lines[i].start, lines[i].end - lines[i].start);
        }
    }
    if (rewrite == std::string::npos) {
        if (!text.empty() && text.back() != '\n') {
            text += text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        }
        text += setting + (text.find("\r\n") != std::string::npos ? "\r\n" : "\n");
    }
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    const FileReplacement replaced = ReplaceFile(file, text, backups);
    if (!replaced.error.empty()) {
        problem = replaced.error;
        return false;
    }
    return true;
}
