#include "player/windows_command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr std::string_view Spaces = " \t";

std::string Expand(const std::string& command, const WindowsCommandLine::Environment& environment) {
    std::string out;
    std::size_t at = 0;
    for (;;) {
        const std::size_t open = command.find('%', at);
        const std::size_t close =
            open == std::string::npos ? std::string::npos : command.find('%', open + 1);
        if (close == std::string::npos) {
            return out + command.substr(at);
        }
        out += command.substr(at, open - at);
        const std::string name = command.substr(open + 1, close - open - 1);
        const std::optional<std::string> value = name.empty() ? std::nullopt : environment(name);
        if (value) {
            out += *value;
            at = close + 1;
        } else {
            // Not a variable: the first % stays, and the second may open one.
            out += command.substr(open, close - open);
            at = close;
        }
    }
}

bool IsPath(std::string_view word) {
    return word.find_first_of("\\/:") != std::string_view::npos;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool HasExtension(std::string_view word) {
    const std::size_t name = word.find_last_of("\\/:");
    const std::string_view last = name == std::string_view::npos ? word : word.substr(name + 1);
    return last.find('.') != std::string_view::npos;
}

bool HasExecutableExtension(std::string_view word) {
    const std::string lower = Lower(word);
    for (const std::string_view extension : {".exe", ".com", ".bat", ".cmd"}) {
        if (lower.ends_with(extension)) {
            return true;
        }
    }
    return false;
}

// Whether a word after an unquoted program path looks like the rest of that path rather
// than an argument: a path of its own (not a /switch) or a program file's name.
bool NamesProgram(std::string_view word) {
    return (IsPath(word) && !word.starts_with('/') && !word.starts_with('-')) ||
           HasExecutableExtension(word);
}

}  // namespace

WindowsCommandLine WindowsCommandLine::Prepare(const std::string& command,
                                               const Environment& environment) {
    WindowsCommandLine result;
    result.line = Expand(command, environment);
    const std::string_view line = result.line;
    const std::size_t start = line.find_first_not_of(Spaces);
    if (start == std::string_view::npos) {
        result.problem = "the command is empty";
        return result;
    }
    if (line[start] == '"') {
        if (line.find('"', start + 1) == std::string_view::npos) {
            result.problem = "a double quote is not closed";
        }
        return result;
    }
    const std::size_t end = std::min(line.find_first_of(Spaces, start), line.size());
    const std::string_view program = line.substr(start, end - start);
    const std::size_t next = line.find_first_not_of(Spaces, end);
    if (next == std::string_view::npos || !IsPath(program) || HasExtension(program)) {
        return result;
    }
    const std::string_view second =
        line.substr(next, std::min(line.find_first_of(Spaces, next), line.size()) - next);
    if (!NamesProgram(second)) {
        return result;
    }
    // The path as the user most likely meant it: up to the first word naming a program file.
    std::size_t meant = next + second.size();
    for (std::size_t word = next; word < line.size();) {
        const std::size_t wordEnd = std::min(line.find_first_of(Spaces, word), line.size());
        if (HasExecutableExtension(line.substr(word, wordEnd - word))) {
            meant = wordEnd;
            break;
        }
        word = std::min(line.find_first_not_of(Spaces, wordEnd), line.size());
    }
    result.problem = "the program's path has spaces and no quotes: write it as \"" +
                     std::string(line.substr(start, meant - start)) + "\"";
    return result;
}
