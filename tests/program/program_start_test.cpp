#include "program/program_start.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/doubles/scratch_folder.h"

namespace {

// A value the settings file gave and the start refuses is named with the file and line,
// as one refused while the file is read is; one from the command line is not.
TEST(StartProgram, NamesTheSettingsLineOfAValueItRefuses) {
    struct Case {
        std::string settings;  // FILE: the settings file's own path
        std::vector<std::string> args;
        std::string said;  // the start of standard error; FILE as above
    };
    const Case cases[] = {
        {"# mine\nport = FILE\n", {}, "quorvel: FILE:2: setting 'port': FILE"},
        {"port = FILE\n", {"--port", "FILE"}, "quorvel: FILE"},
        {"port = /dev/ttyS0\nkeys = missing.conf\n",
         {"--print-keys"},
         "quorvel: FILE:2: setting 'keys': "},
        {"keys = missing.conf\n", {"--port", "/dev/null"}, "quorvel: /dev/null"},
    };
    for (const Case& c : cases) {
        const ScratchFolder scratch;
        const std::string file = scratch.FilePath("quorvel.conf");
        const auto withFile = [&file](std::string text) {
            for (std::size_t at; (at = text.find("FILE")) != std::string::npos;) {
                text.replace(at, 4, file);
            }
            return text;
        };
        std::ofstream(file) << withFile(c.settings);
        std::vector<std::string> args;
        for (const std::string& arg : c.args) {
            args.push_back(withFile(arg));
        }
        std::string out;
        std::string err;
        KeyMap keys;
        const std::optional<int> status =
            StartProgram(CommandLine::Parse(args, file), keys,
                         {[&out](const std::string& text) { out += text; },
                          [&err](const std::string& text) { err += text; }});
        EXPECT_EQ(status, CommandLine::UsageError) << c.settings;
        const std::string said = withFile(c.said);
        EXPECT_EQ(err.substr(0, said.size()), said) << err;
        EXPECT_EQ(err.find(file + ":1: setting"), std::string::npos) << err;
    }
}

}  // namespace
