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
bool NamesFile(std::string_view path, const WindowsCommandLine::Look& look) {
    using Found = WindowsCommandLine::Found;
    const std::string text(path);
    return look(text) == Found::File || (!HasExtension(path) && look(text + ".exe") == Found::File);
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    out += text;
    return out + '"';
}

bool NamesFolder(std::string_view path, const WindowsCommandLine::Look& look) {
    return look(std::string(path)) == WindowsCommandLine::Found::Folder;
}

}  // namespace

WindowsCommandLine WindowsCommandLine::Prepare(const std::string& command,
                                               const Environment& environment, const Look& look) {
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
    // Where each word starts and ends: the runs of words CreateProcess would try, shortest
    // first.
    std::vector<std::size_t> starts;
    std::vector<std::size_t> ends;
    for (std::size_t word = start; word < line.size();) {
        starts.push_back(word);
        ends.push_back(std::min(line.find_first_of(Spaces, word), line.size()));
        word = std::min(line.find_first_not_of(Spaces, ends.back()), line.size());
    }
    const std::string_view program = line.substr(start, ends[0] - start);
    if (ends.size() == 1) {
        return result;
    }
    // A bare name is searched for at the press; only a longer run naming a file or folder
    // here (a relative "Program Files\..." beside "Program.exe") makes it a guess.
    const bool bare = !IsPath(program);
    std::string_view longer;  // the shortest longer run naming a file
    std::string_view folder;  // ... a folder, or one that its last word goes on into
    std::string_view meant;   // ... or else the run up to a word naming a program file
    for (std::size_t i = 1; i < ends.size() && longer.empty(); ++i) {
        for (std::size_t at = line.find_first_of("\\/", starts[i] + 1);
             folder.empty() && at < ends[i]; at = line.find_first_of("\\/", at + 1)) {
            if (NamesFolder(line.substr(start, at - start), look)) {
                folder = line.substr(start, at - start);
            }
        }
        const std::string_view run = line.substr(start, ends[i] - start);
        if (NamesFile(run, look)) {
            longer = run;
        } else if (folder.empty() && NamesFolder(run, look)) {
            folder = run;
        } else if (meant.empty() && !bare && HasExecutableExtension(run)) {
            meant = run;
        }
    }
    const bool found = NamesFile(program, look);
    const auto couldBe = [&](const std::string& other) {
        return "the program could be " + Quoted(program) + " or " + other +
               ": put the one meant in double quotes";
    };
    if (!longer.empty()) {
        result.problem =
            found ? couldBe(Quoted(longer))
                  : "the program's path has spaces and no quotes: write it as " + Quoted(longer);
    } else if (found || bare) {
        // Named like a program file (unless the first word is named as one itself), else
        // going on into a folder.
        if (found && !meant.empty() && !HasExecutableExtension(program)) {
            result.problem = couldBe(Quoted(meant));
        } else if (!folder.empty()) {
            result.problem = couldBe("one in the folder " + Quoted(folder));
        }
    } else if (!meant.empty()) {
        result.problem =
            "the program's path has spaces and no quotes: write it as " + Quoted(meant);
    } else {
        result.problem = "there is no program " + Quoted(program) +
                         " (a path with spaces must be in double quotes)";
    }
    return result;
}
