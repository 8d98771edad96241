#include "program/program_start.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "finder/port_finder.h"
#include "finder/remote_candidates.h"
#include "keymap/key_map_file.h"
#include "learning/key_learner.h"
#include "log/untrusted_text.h"
#include "options/settings_file.h"
#include "platform/file_replacement.h"
#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "program/key_source_choice.h"

namespace {

// A line of ours around a path or a line of a file: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;

// Where a found port or source is kept for the runs to come: the settings file in force
// (--config's, else the default one), beside the sources it names or in their place. There
// is one lircd, and one broker: one found takes the place of the one named.
PortKeeping FoundPortKeeping(const CommandLine& options) {
    const std::filesystem::path file =
        options.config.empty() ? DefaultSettingsPath() : PathFromUtf8(options.config);
    return {Utf8FromPath(file), [file](const std::string& setting, const std::string& value,
                                       bool add, std::string& problem) {
                if (!add) {
                    return SaveSetting(file, setting, value, problem,
                                       {"port", "lircd", "input", "mqtt"});
                }
                return SaveSetting(file, setting, value, problem, {},
                                   setting != "lircd" && setting != "mqtt");
            }};
}

// The search for the receiver, in the terminal: on the ports named, else on every port and
// remote here, and the broker the settings name; empty when none was found.
FoundRemote FindPort(const CommandLine& options) {
    std::vector<RemoteCandidate> others = options.findPortCandidates.empty()
                                              ? RemoteCandidates::Machine()
                                              : std::vector<RemoteCandidate>();
    if (options.findPortCandidates.empty() && MakeBrokerSource(options)) {
        others.push_back({"MQTT broker at " + options.mqtt, "mqtt", options.mqtt,
                          [options] { return MakeBrokerSource(options); }});
    }
    return FindPortSession(options.findPortCandidates, others, std::cin, StandardInputIsTerminal(),
                           std::cout, std::cerr, FoundPortKeeping(options));
}

// --print-keys: the built-in map, or the one named as Quorvel reads it (every option
// spelled out), or its mistakes.
int PrintKeys(const CommandLine& options, const StartOutput& output) {
    const std::string& file = options.keys;
    if (file.empty()) {
        output.out(KeyMapFile::Header() + KeyMap::Standard().Format());
        return 0;
    }
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(PathFromUtf8(file));
    if (loaded.problems.empty()) {
        output.out(KeyMapFile::Header() + loaded.keys.Format());
        return 0;
    }
    std::string said;
    for (const std::string& problem : loaded.problems) {
        said += "quorvel: " + options.SetAt("keys") + UntrustedText(problem, LineLimit) + "\n";
    }
    output.err(said);
    return CommandLine::UsageError;
}

}  // namespace

StartOutput StartOutput::Standard() {
    return {[](const std::string& text) { std::fputs(text.c_str(), stdout); },
            [](const std::string& text) { std::fputs(text.c_str(), stderr); }};
}

std::optional<int> StartProgram(const CommandLine& options, KeyMap& keys,
                                const StartOutput& output) {
    using Command = CommandLine::Command;
    switch (options.command) {
        case Command::UsageError:
            output.err(options.problem);
            return CommandLine::UsageError;
        case Command::PrintHelp:
            output.out(CommandLine::HelpText());
            return 0;
        case Command::PrintVersion:
            output.out(std::string(CommandLine::VersionText) + "\n");
            return 0;
        case Command::PrintKeys:
            return PrintKeys(options, output);
        case Command::FindPort:
            return FindPort(options).value.empty() ? 1 : 0;
        case Command::Learn:
        case Command::RunWindow:
        case Command::RunConsole:
            break;
    }
    const bool learn = options.command == Command::Learn;
    const bool searching = learn && !options.SourceNamed();
    // Reading a file, a pipe or the user's own terminal as if it were the receiver would
    // feed the player garbage, or take the terminal over.
    if (const std::string why = searching ? std::string() : WhyNotKeySources(options);
        !why.empty()) {
        output.err(why);
        return CommandLine::UsageError;
    }
    if (learn) {
        const std::filesystem::path path =
            options.keys.empty() ? KeyMapFile::DefaultPath() : PathFromUtf8(options.keys);
        // Refused before the user is asked for a key to find the port with.
        if (const std::string why = WhyNotAFileToWrite(path); searching && !why.empty()) {
            output.err("quorvel: " + options.SetAt("keys") + "cannot write the key map to " +
                       Utf8FromPath(path) + ": " + why + "\n");
            return CommandLine::UsageError;
        }
        KeyLearner learner(std::cin, std::cout, std::cerr);
        CommandLine found = options;
        if (searching) {
            const FoundRemote remote = FindPort(options);
            if (remote.value.empty()) {
                return 1;
            }
            if (remote.setting == "mqtt") {
                found.mqtt = remote.value;
            } else if (remote.setting == "lircd") {
                found.lircd = remote.value;
            } else if (remote.setting == "input") {
                found.inputs = {remote.value};
            } else {
                found.ports = {remote.value};
            }
        }
        ReceiverLoop reader(MakeKeySources(found));
        return learner.Run(reader, KeySourceNames(found), path);
    }
    // A key map with mistakes is refused whole, every mistake named, before anything runs.
    KeyMapFile::Loaded loaded = KeyMapFile::Load(PathFromUtf8(options.keys));
    for (const std::string& problem : loaded.problems) {
        output.err("quorvel: " + options.SetAt("keys") + UntrustedText(problem, LineLimit) + "\n");
    }
    if (!loaded.problems.empty()) {
        return CommandLine::UsageError;
    }
    keys = std::move(loaded.keys);
    return std::nullopt;
}
