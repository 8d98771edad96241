#include "program/find_port_command.h"

#include <iostream>

#include "finder/remote_candidates.h"
#include "options/settings_file.h"
#include "platform/quit_signal.h"
#include "platform/utf8_path.h"
#include "program/key_source_choice.h"

namespace {

// Where a found port or source is kept for the runs to come: the settings file in force
// (--config's, else the default one), beside the sources it names or in their place. There
// is one lircd, and one broker: one found takes the place of the one named.
PortKeeping FoundPortKeeping(const CommandLine& options) {
    const std::filesystem::path file =
        options.config.empty() ? DefaultSettingsPath() : PathFromUtf8(options.config);
    PortKeeping keeping{Utf8FromPath(file),
                        [file](const std::string& setting, const std::string& value, bool add,
                               std::string& problem) {
                            if (!add) {
                                return SaveSetting(file, setting, value, problem,
                                                   {"port", "lircd", "input", "mqtt"});
                            }
                            return SaveSetting(file, setting, value, problem, {},
                                               setting != "lircd" && setting != "mqtt");
                        }};
    std::error_code error;
    keeping.exists = std::filesystem::exists(file, error);
    for (const char* source : {"port", "lircd", "input", "mqtt"}) {
        keeping.sources = keeping.sources || options.setAt.count(source) > 0;
    }
    return keeping;
}

}  // namespace

std::string FindPortCommand::Usage() const {
#ifdef _WIN32
    return "quorvel --find-port [COMn...]\n";
#else
    return "quorvel --find-port [DEVICE...]\n";
#endif
}

void FindPortCommand::Add(CLI::App& app, CommandLine& options) {
    app.add_option("--find-port,--find-remote", options.findPortCandidates)
        ->expected(0, -1)
        ->configurable(false);
}

void FindPortCommand::NoteHere(const CLI::App& app, const CommandLine&, Here& here) const {
    if (app.count("--find-port") > 0) {
        here.insert("--find-port");
    }
}

std::string FindPortCommand::Check(const CLI::App&, CommandLine& options, const Here& here) {
    asked_ = here.count("--find-port") > 0;
    // Given without a value, CLI11 stores one empty one.
    std::erase(options.findPortCandidates, std::string());
    // A source from the settings file is the user's too, for --learn; --find-port looks for
    // others (and may have saved them there), so only one named here is a slip.
    for (const char* other :
         {"--learn", "--print-keys", "--port", "--lircd", "--input", "--mqtt"}) {
        if (asked_ && here.count(other) > 0) {
            return std::string("options '--find-port' and '") + other + "' exclude each other";
        }
    }
    return {};
}

std::string FindPortCommand::Help(std::string_view option) const {
    if (option != "--find-port") {
        return {};
    }
#ifdef _WIN32
    return "  --find-port [PORT...], --find-remote\n"
           "                  listen on these ports (by default on every serial port and\n"
           "                  every HID remote and keyboard here) and say the one on which\n"
           "                  a key of the remote arrives, to save it beside the sources\n"
           "                  of the settings file or in their place\n";
#else
    return "  --find-port [PORT...], --find-remote\n"
           "                  listen on these ports (by default on every serial port here,\n"
           "                  lircd and every input device with media keys) and say the\n"
           "                  one on which a key of the remote arrives, to save it beside\n"
           "                  the sources of the settings file or in their place\n";
#endif
}

std::optional<int> FindPortCommand::Start(const CommandLine& options, KeyMap&, const StartOutput&) {
    const std::unique_ptr<TypedInput> typed = MakeStandardInput();
    return Search(options, *typed).value.empty() ? 1 : 0;
}

FoundRemote FindPortCommand::Search(const CommandLine& options, TypedInput& typed) {
    std::vector<RemoteCandidate> others = options.findPortCandidates.empty()
                                              ? RemoteCandidates::Machine()
                                              : std::vector<RemoteCandidate>();
    if (options.findPortCandidates.empty() && MakeBrokerSource(options)) {
        others.push_back({"MQTT broker at " + options.mqtt, "mqtt", options.mqtt,
                          [options] { return MakeBrokerSource(options); }});
    }
    const FinderTerminal terminal{std::cout, std::cerr, [&typed] { return typed.WaitLine(); },
                                  StandardInputIsTerminal(), StandardOutputIsTerminal()};
    return FindPortSession(options.findPortCandidates, others, terminal, FoundPortKeeping(options));
}
