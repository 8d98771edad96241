#include "options/command_line.h"

#ifndef _WIN32
#include "lircd/lircd_source.h"
#endif

#include "keymap/key_map_file.h"
#include "log/untrusted_text.h"
#include "options/command_line_settings.h"
#include "options/flag_value.h"
#include "options/mqtt_options.h"
#include "options/usage_problem.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace {

CommandLine Fail(const std::string& message) {
    CommandLine result;
    result.command = CommandLine::Command::UsageError;
    result.problem = "quorvel: " + message + " (try --help)\n";
    return result;
}

#ifdef _WIN32
// What Windows has where Linux has lircd.
constexpr const char* LircdInstead =
    "on Windows, read a HID remote or the keyboards' media keys with --input (quorvel "
    "--find-remote finds it), or a serial receiver with --port";
#else
// "vlc,,mpv" or "vlc,": a slip, never a player named "".
auto NoEmptyName(const std::string& option) {
    return [option](const std::string& list) {
        const std::vector<std::string> names = CommandLine::Names(list);
        return std::find(names.begin(), names.end(), std::string()) == names.end()
                   ? std::string()
                   : "option '" + option + "' has an empty name in '" + list + "'";
    };
}
#endif

}  // namespace

std::vector<std::string> CommandLine::SerialPorts() const {
    return SourceNamed() ? ports : std::vector<std::string>{DefaultPort};
}

std::string CommandLine::SetAt(const std::string& option) const {
    const auto at = setAt.find(option);
    return at == setAt.end() ? std::string()
                             : at->second + ": setting '" + UntrustedText(option) + "': ";
}

std::vector<std::string> CommandLine::Names(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        names.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos) {
            return names;
        }
        start = comma + 1;
    }
}

CommandLine CommandLine::Parse(const std::vector<std::string>& args, const std::string& settings) {
#ifdef _WIN32
    // How Windows programs are asked for help.
    if (std::find(args.begin(), args.end(), "/?") != args.end()) {
        std::vector<std::string> asked(args);
        std::replace(asked.begin(), asked.end(), std::string("/?"), std::string("--help"));
        return Parse(asked, settings);
    }
#endif
    CommandLine result;
    bool help = false;
    bool version = false;
    bool console = false;
    bool printKeys = false;
    bool learn = false;
    bool noPlayer = false;
    CLI::App app("", "quorvel");
    app.set_help_flag();
    app.allow_extras();
    // The flags that take no value at all.
    std::vector<std::string> flags{"--help", "--version", "--print-keys", "--learn"};
    // What only the command line can ask for: never from the settings file.
    app.add_flag("-h,--help", help)->configurable(false);
    app.add_flag("--version", version)->configurable(false);
    app.add_flag("--print-keys", printKeys)->configurable(false);
    app.add_flag("--learn", learn)->configurable(false);
    // What the settings file can set, the command line can unset: --no-console, or
    // --console=false.
    for (const auto& [name, target] :
         {std::pair{"console", &console}, std::pair{"notify", &result.notify},
          std::pair{"minimized", &result.minimized}, std::pair{"follow", &result.follow}}) {
        const std::string option = std::string("--") + name;
        app.add_flag(option + ",!--no-" + name, *target)->check(FlagValue(option));
        flags.push_back(std::string("--no-") + name);
    }
    app.add_option("--find-port,--find-remote", result.findPortCandidates)
        ->expected(0, -1)
        ->configurable(false);
    // The other key sources: lircd's socket (its default when given no value; on Windows
    // only taken to be refused in words of its own), and input devices.
    std::vector<std::string> lircd;
    app.add_option("--lircd", lircd)
        ->expected(0, 1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--input", result.inputs)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check([](const std::string& value) {
            return value.empty() || value[0] == '-' ? "option '--input' needs a value"
                                                    : std::string();
        });
    app.add_flag("--grab,!--no-grab", result.grab)->check(FlagValue("--grab"));
    flags.push_back("--no-grab");
    AddMqttOptions(app, result, flags);
#ifndef _WIN32
    flags.push_back("--no-player");
    app.add_flag("--no-player", noPlayer);
    app.add_option("--ignore-player", result.ignoredPlayers)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check([](const std::string& value) {
            return value.empty() || value[0] == '-' ? "option '--ignore-player' needs a value"
                                                    : std::string();
        })
        ->check(NoEmptyName("--ignore-player"));
#endif
    app.add_option("--port", result.ports)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->check([](const std::string& value) {
            return value.empty() || value[0] == '-' ? "option '--port' needs a value"
                                                    : std::string();
        });
    for (const auto& [name, target] :
         {std::pair{"--player", &result.player}, std::pair{"--keys", &result.keys},
          std::pair{"--config", &result.config}}) {
        app.add_option(name, *target)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
            // An option given where the value belongs is a slip, never a value.
            ->check([name = std::string(name)](const std::string& value) {
                return value.empty() || value[0] == '-' ? "option '" + name + "' needs a value"
                                                        : std::string();
            });
    }

    app.get_option("--config")->configurable(false);
#ifdef _WIN32
    // Checked here, so that a slip in the settings file is named with its line.
    app.get_option("--player")->check([](const std::string& value) {
        return value == "window" || value == "keys" || value == "session"
                   ? std::string()
                   : "option '--player' takes window, keys or session, not '" +
                         UntrustedText(value) + "'";
    });
#else
    app.get_option("--player")->check(NoEmptyName("--player"));
#endif

    if (const std::string problem = FlagGivenAValue(args, flags); !problem.empty()) {
        return Fail(problem);
    }
    try {
        // CLI11 wants the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError& error) {
        return Fail(UsageProblem(error, "value"));
    }
    if (const auto extras = app.remaining(); !extras.empty()) {
        const std::string& extra = extras.front();
        return Fail(extra.rfind('-', 0) == 0
                        ? "unknown option '" + extra.substr(0, extra.find('=')) + "'"
                        : "unexpected argument '" + extra + "'");
    }
    // What the command line itself asked for; the settings file may add to it.
    const bool portHere = app.count("--port") > 0;
    const bool lircdHere = app.count("--lircd") > 0;
    const bool inputHere = app.count("--input") > 0;
    const bool mqttHere = app.count("--mqtt") > 0;
    std::set<std::string> mqttOptionsHere;
    for (const char* name : MqttOptionNames) {
        if (app.count(std::string("--") + name) > 0) {
            mqttOptionsHere.insert(name);
        }
    }
    const bool windowlessHere = console || learn;
    const bool minimizedHere = result.minimized;
    if (!help && !version) {
        // Named, it must be there; the default one may well not be.
        const bool named = !result.config.empty();
        if (!named) {
            result.config = settings;
        }
        if (!result.config.empty()) {
            if (const std::string problem = ApplySettings(app, result.config, named, result.setAt);
                !problem.empty()) {
                return Fail(problem);
            }
        }
    }
#ifdef _WIN32
    if (app.count("--lircd") > 0) {
        return Fail(result.SetAt("lircd").empty()
                        ? "option '--lircd' reads lircd, which runs on Linux only: " +
                              std::string(LircdInstead)
                        : result.SetAt("lircd") + "lircd runs on Linux only: " + LircdInstead);
    }
#else
    if (app.count("--lircd") > 0) {
        result.lircd =
            lircd.empty() || lircd.back().empty() ? LircdSource::DefaultSocket : lircd.back();
    }
#endif
    SettleMqttDiscovery(app, result);
    if (const std::string problem = MqttProblem(app, result, mqttOptionsHere,
                                                portHere || lircdHere || inputHere || mqttHere);
        !problem.empty()) {
        return Fail(problem);
    }
    if (noPlayer && !result.player.empty()) {
        return Fail("options '--player' and '--no-player' exclude each other");
    }
    if (noPlayer && !result.ignoredPlayers.empty()) {
        return Fail("options '--ignore-player' and '--no-player' exclude each other");
    }
    if (learn && printKeys) {
        return Fail("options '--learn' and '--print-keys' exclude each other");
    }
    // Both run without the window. Asked for together here, that is a slip; with one of
    // them from the settings file, --minimized has nothing to do.
    if (minimizedHere && windowlessHere) {
        return Fail(std::string("options '--minimized' and '") + (learn ? "--learn" : "--console") +
                    "' exclude each other");
    }
    result.minimized = result.minimized && !console && !learn;
    // A source from the settings file is the user's too, for --learn; --find-port looks for
    // others (and may have saved them there), so only one named here is a slip.
    const bool findPort = app.count("--find-port") > 0;
    // Given without a value, CLI11 stores one empty one.
    std::erase(result.findPortCandidates, std::string());
    for (const auto& [given, name] :
         {std::pair{learn, "--learn"}, std::pair{printKeys, "--print-keys"},
          std::pair{portHere, "--port"}, std::pair{lircdHere, "--lircd"},
          std::pair{inputHere, "--input"}, std::pair{mqttHere, "--mqtt"}}) {
        if (findPort && given) {
            return Fail(std::string("options '--find-port' and '") + name + "' exclude each other");
        }
    }
    result.commandsPlayer = !noPlayer;
    // The first that applies: a command asked for beside --console (perhaps from the
    // settings file) is what is done.
    for (const auto& [asked, command] :
         {std::pair{help, Command::PrintHelp}, std::pair{version, Command::PrintVersion},
          std::pair{printKeys, Command::PrintKeys}, std::pair{findPort, Command::FindPort},
          std::pair{learn, Command::Learn}, std::pair{console, Command::RunConsole}}) {
        if (asked) {
            result.command = command;
            return result;
        }
    }
    return result;
}
