#include "program/learn_command.h"

#include <iostream>

#include "keymap/key_map_file.h"
#include "learning/key_learner.h"
#include "platform/file_replacement.h"
#include "platform/utf8_path.h"
#include "program/find_port_command.h"
#include "program/key_source_choice.h"

namespace {

// options with the source found in place of those named (none were).
CommandLine WithFound(const CommandLine& options, const FoundRemote& remote) {
    CommandLine found = options;
    if (remote.setting == "mqtt") {
        found.mqtt = remote.value;
    } else if (remote.setting == "lircd") {
        found.lircd = remote.value;
    } else if (remote.setting == "input") {
        found.inputs = {remote.value};
    } else {
        found.ports = {remote.value};
    }
    return found;
}

}  // namespace

std::string LearnCommand::Usage() const {
#ifdef _WIN32
    return "quorvel --learn [--port COMn]... [--input DEVICE]... [--mqtt URL]\n"
           "               [--keys FILE] [--replace]\n";
#else
    return "quorvel --learn [--port DEVICE]... [--lircd[=SOCKET]] [--input DEVICE]...\n"
           "               [--mqtt URL] [--keys FILE] [--replace]\n";
#endif
}

void LearnCommand::Add(CLI::App& app, CommandLine& options) {
    app.add_flag("--learn", asked_)->configurable(false);
    app.add_flag("--replace", options.replace)->configurable(false);
}

void LearnCommand::NoteHere(const CLI::App&, const CommandLine& options, Here& here) const {
    if (asked_) {
        here.insert("--learn");
    }
    if (options.replace) {
        here.insert("--replace");
    }
}

std::string LearnCommand::Check(const CLI::App&, CommandLine&, const Here& here) {
    if (asked_ && here.count("--print-keys") > 0) {
        return "options '--learn' and '--print-keys' exclude each other";
    }
    if (!asked_ && here.count("--replace") > 0) {
        return "option '--replace' goes with --learn";
    }
    return {};
}

std::string LearnCommand::Help(std::string_view option) const {
    if (option == "--learn") {
        return "  --learn         learn a remote's keys in the terminal and add them to the key\n"
               "                  map, in place of what it binds the same actions to, from\n"
               "                  every source named; with none, find one first as\n"
               "                  --find-port does\n";
    }
    if (option == "--replace") {
        return "  --replace       with --learn, take a key the map binds to another action\n"
               "                  without asking\n";
    }
    return {};
}

std::optional<int> LearnCommand::Start(const CommandLine& options, KeyMap&,
                                       const StartOutput& output) {
    const bool searching = !options.SourceNamed();
    // Reading a file, a pipe or the user's own terminal as if it were the receiver would
    // take the terminal over.
    if (const std::string why = searching ? std::string() : WhyNotKeySources(options);
        !why.empty()) {
        output.err(why);
        return CommandLine::UsageError;
    }
    const std::filesystem::path path =
        options.keys.empty() ? KeyMapFile::DefaultPath() : PathFromUtf8(options.keys);
    // Refused before the user is asked for a key to find the port with.
    if (const std::string why = WhyNotAFileToWrite(path); searching && !why.empty()) {
        output.err("quorvel: " + options.SetAt("keys") + "cannot write the key map to " +
                   Utf8FromPath(path) + ": " + why + "\n");
        return CommandLine::UsageError;
    }
    // One reader of typing for the search's question and the learning, so neither takes
    // what was typed for the other.
    const std::unique_ptr<TypedInput> typed = MakeStandardInput();
    KeyLearner learner(*typed, std::cout, std::cerr, options.replace);
    CommandLine found = options;
    if (searching) {
        const FoundRemote remote = FindPortCommand::Search(options, *typed);
        if (remote.value.empty()) {
            return 1;
        }
        found = WithFound(options, remote);
    }
    ReceiverLoop reader(MakeKeySources(found));
    return learner.Run(reader, KeySourceNames(found), path);
}
