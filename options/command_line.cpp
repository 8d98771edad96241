#include "options/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "log/untrusted_text.h"
#include "options/command_line_settings.h"
#include "options/option_checks.h"
#include "options/player_options.h"
#include "options/source_options.h"
#include "options/usage_problem.h"
#include "options/verb.h"

namespace {

CommandLine Fail(const std::string& message) {
    CommandLine result;
    result.command = CommandLine::Command::UsageError;
    result.problem = "quorvel: " + message + " (try --help)\n";
    return result;
}

// Parses args into app, whose options are set; what is wrong, or empty.
std::string ParseArguments(CLI::App& app, const std::vector<std::string>& args,
                           const std::vector<std::string>& flags) {
    if (const std::string problem = FlagGivenAValue(args, flags); !problem.empty()) {
        return problem;
    }
    try {
        // CLI11 wants the arguments last first.
        app.parse(std::vector<std::string>(args.rbegin(), args.rend()));
    } catch (const CLI::ParseError& error) {
        return UsageProblem(error, "value");
    }
    if (const auto extras = app.remaining(); !extras.empty()) {
        const std::string& extra = extras.front();
        return extra.rfind('-', 0) == 0
                   ? "unknown option '" + extra.substr(0, extra.find('=')) + "'"
                   : "unexpected argument '" + extra + "'";
    }
    return {};
}

// The options the command line has whatever is done: --help and --version, and --config
// (only the command line can ask for those, never the settings file), and --keys.
void AddOwnOptions(CLI::App& app, CommandLine& result, bool& help, bool& version) {
    app.add_flag("-h,--help", help)->configurable(false);
    app.add_flag("--version", version)->configurable(false);
    for (const auto& [name, target] :
         {std::pair{"--keys", &result.keys}, std::pair{"--config", &result.config}}) {
        app.add_option(name, *target)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
            ->check(NeedsValue(name));
    }
    app.get_option("--config")->configurable(false);
}

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

CommandLine CommandLine::Parse(const std::vector<std::string>& args, const std::string& settings,
                               const std::vector<Verb*>& verbs) {
#ifdef _WIN32
    // How Windows programs are asked for help.
    if (std::find(args.begin(), args.end(), "/?") != args.end()) {
        std::vector<std::string> asked(args);
        std::replace(asked.begin(), asked.end(), std::string("/?"), std::string("--help"));
        return Parse(asked, settings, verbs);
    }
#endif
    SourceOptions sources;
    PlayerOptions players;
    std::vector<OptionGroup*> groups{&sources, &players};
    groups.insert(groups.end(), verbs.begin(), verbs.end());
    CommandLine result;
    bool help = false;
    bool version = false;
    CLI::App app("", "quorvel");
    app.set_help_flag();
    app.allow_extras();
    AddOwnOptions(app, result, help, version);
    std::vector<std::string> flags{"--help", "--version"};
    for (OptionGroup* group : groups) {
        group->Add(app, result);
        const std::vector<std::string> own = group->Flags();
        flags.insert(flags.end(), own.begin(), own.end());
    }
    if (const std::string problem = ParseArguments(app, args, flags); !problem.empty()) {
        return Fail(problem);
    }
    // What the command line itself asked for; the settings file may add to it.
    OptionGroup::Here here;
    for (const OptionGroup* group : groups) {
        group->NoteHere(app, result, here);
    }
    if (!help && !version) {
        // Named, it must be there; the default one may well not be.
        const bool named = !result.config.empty();
        if (!named) {
            result.config = settings;
        }
        if (!result.config.empty()) {
            if (const std::string problem =
                    ApplySettings(app, result.config, named, groups, result.setAt);
                !problem.empty()) {
                return Fail(problem);
            }
        }
    }
    for (OptionGroup* group : groups) {
        if (const std::string problem = group->Check(app, result, here); !problem.empty()) {
            return Fail(problem);
        }
    }
    result.command = help      ? Command::PrintHelp
                     : version ? Command::PrintVersion
                               : Command::RunWindow;
    for (const Verb* verb : verbs) {
        if (!help && !version && verb->Asked()) {
            result.command = verb->Id();
        }
    }
    for (const OptionGroup* group : groups) {
        group->Chosen(result);
    }
    return result;
}
