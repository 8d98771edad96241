#include "platform/windows_command_line.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

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

// As CreateProcess looks for it: ".exe" is added to a name without an extension.
bool NamesFile(std::string_view path, const WindowsCommandLine::FileExists& exists) {
    const std::string text(path);
    return exists(text) || (!HasExtension(path) && exists(text + ".exe"));
}

}  // namespace

WindowsCommandLine WindowsCommandLine::Prepare(const std::string& command,
                                               const Environment& environment,
                                               const FileExists& exists) {
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
    // Where each word ends: the runs of words CreateProcess would try, shortest first.
    std::vector<std::size_t> ends;
    for (std::size_t word = start; word < line.size();) {
        ends.push_back(std::min(line.find_first_of(Spaces, word), line.size()));
        word = std::min(line.find_first_not_of(Spaces, ends.back()), line.size());
    }
    const std::string_view program = line.substr(start, ends[0] - start);
    if (ends.size() == 1) {
        return result;
    }
    // A bare name is searched for at the press; only a longer run naming a file here (a
    // relative "Program Files\..." beside "Program.exe") makes it a guess.
    const bool bare = !IsPath(program);
    std::string_view longer;  // the shortest longer run naming a file
    std::string_view meant;   // ... or else the run up to a word naming a program file
    for (std::size_t i = 1; i < ends.size() && longer.empty(); ++i) {
        const std::string_view run = line.substr(start, ends[i] - start);
        if (NamesFile(run, exists)) {
            longer = run;
        } else if (meant.empty() && !bare && HasExecutableExtension(run)) {
            meant = run;
        }
    }
    if (bare && longer.empty()) {
        return result;
    }
    // Another reading of the words: a longer run naming a file or, unless the first word is
    // named as a program file, one named like a program file.
    const std::string_view other = !longer.empty()                   ? longer
                                   : HasExecutableExtension(program) ? std::string_view()
                                                                     : meant;
    if (NamesFile(program, exists)) {
        if (!other.empty()) {
            result.problem = "the program could be \"" + std::string(program) + "\" or \"" +
                             std::string(other) + "\": put the one meant in double quotes";
        }
    } else if (!longer.empty() || !meant.empty()) {
        result.problem = "the program's path has spaces and no quotes: write it as \"" +
                         std::string(longer.empty() ? meant : longer) + "\"";
    } else {
        result.problem = "there is no program \"" + std::string(program) +
                         "\" (a path with spaces must be in double quotes)";
    }
    return result;
}
