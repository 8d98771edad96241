// Bound commands made ready for Windows: plain text, so the table runs everywhere.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/windows_command_line.h"

namespace {

struct Case {
    const char* command;
    const char* line;     // expected, when it may start
    const char* problem;  // expected start of the refusal, or "" for none
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.command;
}

class WindowsCommandLineTest : public testing::TestWithParam<Case> {};

TEST_P(WindowsCommandLineTest, PreparesOrRefuses) {
    const std::map<std::string, std::string> variables = {
        {"APPDATA", R"(C:\Users\Ann\AppData)"},
        {"P", "50%"},
        {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS"},
        {"ProgramFiles", R"(C:\Program Files)"},
        {"ProgramFiles(x86)", R"(C:\Program Files (x86))"}};
    // C:\Program.exe and C:\Apps\v1.2 planted where an unquoted path would find them first.
    const std::set<std::string> files = {
        R"(C:\tools\play.exe)", R"(C:\Program.exe)", R"(C:\Apps\v1.2)", R"(C:\tools\report.vbs)",
        R"(C:\Users\Ann\AppData\My Tools\x.exe)", R"(Program Files\x.exe)"};
    const std::set<std::string> folders = {R"(C:\Program Files)", R"(C:\Apps\v1.2 tools)",
                                           "Program Files"};
    const auto environment = [&](const std::string& name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional(found->second);
    };
    using Found = WindowsCommandLine::Found;
    const WindowsCommandLine prepared =
        WindowsCommandLine::Prepare(GetParam().command, environment, [&](const std::string& path) {
            return files.contains(path)     ? Found::File
                   : folders.contains(path) ? Found::Folder
                                            : Found::Nothing;
        });
    EXPECT_EQ(prepared.problem.substr(0, std::string(GetParam().problem).size()),
              GetParam().problem)
        << prepared.problem;
    EXPECT_EQ(prepared.problem.empty(), *GetParam().problem == '\0') << prepared.problem;
    if (prepared.problem.empty()) {
        EXPECT_EQ(prepared.line, GetParam().line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowsCommandLineTest,
    testing::Values(
        Case{"notepad", "notepad", ""},
        Case{R"("C:\Program Files\VLC\vlc.exe" --x)", R"("C:\Program Files\VLC\vlc.exe" --x)", ""},
        Case{R"(C:\tools\play.exe C:\music\a.m3u)", R"(C:\tools\play.exe C:\music\a.m3u)", ""},
        Case{R"(C:\tools\play /min now)", R"(C:\tools\play /min now)", ""},
        Case{R"(notepad %APPDATA%\keys.conf)", R"(notepad C:\Users\Ann\AppData\keys.conf)", ""},
        // Unset names stay as written, and the closing % may open the next name.
        Case{"echo %NOPE%APPDATA%", R"(echo %NOPEC:\Users\Ann\AppData)", ""},
        Case{"nircmd setvolume %P% 100%", "nircmd setvolume 50% 100%", ""},
        Case{"echo %%", "echo %%", ""},
        Case{
            R"(C:\Program Files\VLC\vlc.exe --x)", "",
            R"(the program could be "C:\Program" or "C:\Program Files\VLC\vlc.exe": put the one meant in double quotes)"},
        Case{R"(C:\tools\my app.EXE)", "",
             R"(the program's path has spaces and no quotes: write it as "C:\tools\my app.EXE")"},
        Case{
            R"(%APPDATA%\My Tools\x)", "",
            R"(the program's path has spaces and no quotes: write it as "C:\Users\Ann\AppData\My Tools\x")"},
        Case{R"(C:\Program Files (x86)\Fake\logger.exe one)", "", "the program could be"},
        Case{R"(%ProgramFiles(x86)%\Fake\logger.exe one)", "", "the program could be"},
        Case{R"(C:\Apps\v1.2 tools\logger.exe)", "", "the program could be"},
        // No longer run names a file, but the words go on into a folder.
        Case{
            R"(C:\Program Files\Fake\logger one)", "",
            R"(the program could be "C:\Program" or one in the folder "C:\Program Files": put the one meant in double quotes)"},
        Case{R"(C:\Program Files\Fake\logger)", "", "the program could be"},
        Case{R"(%ProgramFiles%\Fake\logger one)", "", "the program could be"},
        Case{R"(C:\Apps\v1.2 tools\logger one)", "",
             R"(the program could be "C:\Apps\v1.2" or one in the folder "C:\Apps\v1.2 tools")"},
        Case{R"(C:\Program Files)", "", "the program could be"},
        // A first word that names a file, but no program, is never taken for the program.
        Case{R"(C:\Apps\v1.2 old\logger one)", "",
             R"("C:\Apps\v1.2" is a file but no program (PATHEXT has no such extension))"},
        Case{R"(C:\tools\report.vbs now)", R"(C:\tools\report.vbs now)", ""},
        Case{R"(Program Files\Fake one)", "",
             R"(the program could be "Program" or one in the folder "Program Files")"},
        Case{R"(C:\My Tools\x)", "",
             R"(there is no program "C:\My" (a path with spaces must be in double quotes))"},
        Case{R"(C:\nowhere\x)", R"(C:\nowhere\x)", ""},
        // A bare first word, beside a relative path its words name.
        Case{R"(Program Files\x.exe one)", "",
             R"(the program's path has spaces and no quotes: write it as "Program Files\x.exe")"},
        Case{"notepad C:\\x.exe", "notepad C:\\x.exe", ""},
        Case{R"("C:\Program Files\VLC\vlc.exe --x)", "", "a double quote is not closed"},
        Case{"   ", "", "the command is empty"}));

}  // namespace
