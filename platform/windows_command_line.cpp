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

// The extensions of programs, as PATHEXT names them (lower case).
std::vector<std::string> ProgramExtensions(const WindowsCommandLine::Environment& environment) {
    const std::string list = Lower(environment("PATHEXT").value_or(".COM;.EXE;.BAT;.CMD"));
    std::vector<std::string> extensions;
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t end = std::min(list.find(';', at), list.size());
        if (end > at && list[at] == '.') {
            extensions.push_back(list.substr(at, end - at));
        }
        at = end + 1;
    }
    return extensions;
}

bool HasProgramExtension(std::string_view word, const std::vector<std::string>& extensions) {
    const std::string lower = Lower(word);
    return std::any_of(extensions.begin(), extensions.end(),
                       [&](const std::string& extension) { return lower.ends_with(extension); });
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

// A file CreateProcess would start as a program: one with a program's extension, or the
// ".exe" it adds to a name without one.
bool NamesProgram(std::string_view path, const WindowsCommandLine::Look& look,
                  const std::vector<std::string>& extensions) {
    using Found = WindowsCommandLine::Found;
    return HasExtension(path)
               ? HasProgramExtension(path, extensions) && look(std::string(path)) == Found::File
               : look(std::string(path) + ".exe") == Found::File;
}

}  // namespace

namespace {

// What the runs of an unquoted command's words name, as CreateProcess would try them.
struct Runs {
    std::string_view program;  // the first word
    bool found = false;        // it names a program
    bool file = false;         // it names a file, a program or not
    bool bare = false;         // it has no \, / or :, and is searched for at the press
    std::string_view longer;   // the shortest longer run naming a file
    std::string_view folder;   // ... a folder, or one that its last word goes on into
    std::string_view meant;    // ... or else the run up to a word naming a program file
};

// Why the runs make the command a guess; empty when the first word is surely the program.
std::string Guess(const Runs& runs, const std::vector<std::string>& extensions) {
    const auto couldBe = [&](const std::string& other) {
        return "the program could be " + Quoted(runs.program) + " or " + other +
               ": put the one meant in double quotes";
    };
    const std::string unquoted = "the program's path has spaces and no quotes: write it as ";
    if (!runs.longer.empty()) {
        return runs.file ? couldBe(Quoted(runs.longer)) : unquoted + Quoted(runs.longer);
    }
    if (runs.found || runs.bare || runs.file) {
        // Named like a program file (unless the first word is named as one itself), else
        // going on into a folder.
        if ((runs.found || runs.file) && !runs.meant.empty() &&
            !HasProgramExtension(runs.program, extensions)) {
            return couldBe(Quoted(runs.meant));
        }
        if (!runs.folder.empty()) {
            return couldBe("one in the folder " + Quoted(runs.folder));
        }
        // CreateProcess would start that file, whatever it is.
        return runs.found || runs.bare
                   ? std::string()
                   : Quoted(runs.program) +
                         " is a file but no program (PATHEXT has no such extension): put the "
                         "program's path in double quotes";
    }
    if (!runs.meant.empty()) {
        return unquoted + Quoted(runs.meant);
    }
    return "there is no program " + Quoted(runs.program) +
           " (a path with spaces must be in double quotes)";
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
    if (ends.size() == 1) {
        return result;
    }
    const std::vector<std::string> extensions = ProgramExtensions(environment);
    Runs runs;
    runs.program = line.substr(start, ends[0] - start);
    // A bare name is searched for at the press; only a longer run naming a file or folder
    // here (a relative "Program Files\..." beside "Program.exe") makes it a guess.
    runs.bare = !IsPath(runs.program);
    for (std::size_t i = 1; i < ends.size() && runs.longer.empty(); ++i) {
        for (std::size_t at = line.find_first_of("\\/", starts[i] + 1);
             runs.folder.empty() && at < ends[i]; at = line.find_first_of("\\/", at + 1)) {
            if (NamesFolder(line.substr(start, at - start), look)) {
                runs.folder = line.substr(start, at - start);
            }
        }
        const std::string_view run = line.substr(start, ends[i] - start);
        if (NamesFile(run, look)) {
            runs.longer = run;
        } else if (runs.folder.empty() && NamesFolder(run, look)) {
            runs.folder = run;
        } else if (runs.meant.empty() && !runs.bare && HasProgramExtension(run, extensions)) {
            runs.meant = run;
        }
    }
    runs.found = NamesProgram(runs.program, look, extensions) ||
                 (runs.bare && NamesFile(runs.program, look));
    runs.file = NamesFile(runs.program, look);
    result.problem = Guess(runs, extensions);
    return result;
}
