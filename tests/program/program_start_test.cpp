#include "program/program_start.h"

#include <gtest/gtest.h>

#include <filesystem>
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
            StartProgram(ParseCommandLine(args, file), keys,
                         {[&out](const std::string& text) { out += text; },
                          [&err](const std::string& text) { err += text; }});
        EXPECT_EQ(status, CommandLine::UsageError) << c.settings;
        const std::string said = withFile(c.said);
        EXPECT_EQ(err.substr(0, said.size()), said) << err;
        EXPECT_EQ(err.find(file + ":1: setting"), std::string::npos) << err;
    }
}

#ifndef _WIN32
// What can never be a key source is refused at start with the path named; what may still
// come (a device not plugged in, lircd not started) is not.
TEST(StartProgram, RefusesWhatCanNeverBeAKeySource) {
    ScratchFolder folder;
    const std::string open = folder.FilePath("open"), kept = folder.FilePath("kept"),
                      read = folder.FilePath("read");
    std::ofstream(open) << "secret\n";
    std::ofstream(kept) << "secret\n";
    std::ofstream(read) << "secret\n";
    std::filesystem::permissions(read, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::others_read);
    std::filesystem::permissions(open, std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    std::filesystem::permissions(
        kept, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const struct {
        std::vector<std::string> args;
        const char* said;  // empty: not refused
    } cases[] = {
        {{"--input", "/etc/hostname"}, "quorvel: /etc/hostname is a file"},
        {{"--input", "/tmp"}, "quorvel: /tmp is a folder"},
        {{"--input", "/dev/null"}, "quorvel: /dev/null is not an input event device"},
        {{"--lircd=/tmp/" + std::string(120, 'x')}, "quorvel: the lircd socket path /tmp/xxx"},
        {{"--port", "/dev/null", "--lircd"}, "quorvel: /dev/null"},
        {{"--input", "/dev/input/missing", "--lircd=/nonexistent", "--input", "name=NOTHING"}, ""},
        // A broker's password file is trusted as a map's run lines are.
        {{"--mqtt", "mqtt://me@127.0.0.1:1", "--mqtt-password-file", open},
         "quorvel: refused the password file"},
        {{"--mqtt", "mqtts://me@127.0.0.1:1", "--mqtt-ca", folder.FilePath("none.pem")},
         "quorvel: cannot read the certificates"},
        {{"--mqtt", "mqtt://me@127.0.0.1:1", "--mqtt-password-file", kept}, ""},
        // And, as it holds a secret, others may not read it.
        {{"--mqtt", "mqtt://me@127.0.0.1:1", "--mqtt-password-file", read},
         "quorvel: refused the password file"},
    };
    for (const auto& c : cases) {
        std::string err;
        KeyMap keys;
        const std::optional<int> status = StartProgram(
            ParseCommandLine(c.args), keys,
            {[](const std::string&) {}, [&err](const std::string& text) { err += text; }});
        EXPECT_EQ(status, *c.said == '\0' ? std::nullopt : std::optional(CommandLine::UsageError))
            << err;
        EXPECT_EQ(err.substr(0, std::string(c.said).size()), c.said);
    }
}
#endif

}  // namespace
