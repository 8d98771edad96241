#include "options/command_line_settings.h"

#include <algorithm>
#include <set>
#include <vector>

#include "log/untrusted_text.h"
#include "options/mqtt_options.h"
#include "options/settings_file.h"
#include "options/usage_problem.h"
#include "platform/utf8_path.h"

std::string ApplySettings(CLI::App& app, const std::string& file, bool mustExist,
                          std::map<std::string, std::string>& setAt) {
    const SettingsRead read = ReadSettings(PathFromUtf8(file));
    const std::string where = UntrustedText(file, 1000) + ":";
    if (!read.exists && !mustExist) {
        return {};
    }
    if (!read.problem.empty()) {
        return where + (read.problemLine > 0 ? std::to_string(read.problemLine) + ":" : "") + " " +
               read.problem;
    }
    std::set<const CLI::Option*> given;
    for (const CLI::Option* option : app.get_options()) {
        if (option->count() > 0) {
            given.insert(option);
        }
    }
    // The command line's choice of player stands whole: --no-player, or names.
    const CLI::Option* noPlayer = app.get_option_no_throw("--no-player");
    if (noPlayer != nullptr && given.count(noPlayer) > 0) {
        given.insert(app.get_option("--player"));
        given.insert(app.get_option("--ignore-player"));
    } else if (noPlayer != nullptr && (given.count(app.get_option("--player")) > 0 ||
                                       given.count(app.get_option("--ignore-player")) > 0)) {
        given.insert(noPlayer);
    }
    // So does its key source: a port there leaves the file's lircd or input devices out.
    std::vector<const CLI::Option*> sources;
    for (const char* name : {"--port", "--lircd", "--input", "--mqtt"}) {
        if (const CLI::Option* option = app.get_option_no_throw(name)) {
            sources.push_back(option);
        }
    }
    if (std::any_of(sources.begin(), sources.end(),
                    [&](const CLI::Option* option) { return given.count(option) > 0; })) {
        given.insert(sources.begin(), sources.end());
        // The file's broker goes with what it says of it.
        for (const char* name : MqttOptionNames) {
            if (const CLI::Option* option = app.get_option_no_throw(std::string("--") + name)) {
                given.insert(option);
            }
        }
    }
    std::set<const CLI::Option*> fromFile;
    for (const Setting& setting : read.settings) {
        const std::string at = where + std::to_string(setting.line) + ": ";
        const std::string key = "'" + UntrustedText(setting.key) + "'";
        CLI::Option* option =
            setting.key.rfind('-', 0) == 0 ? nullptr : app.get_option_no_throw("--" + setting.key);
        // "no-console = true" would find --console through its negation, and set it.
        if (option != nullptr && option->get_name() != "--" + setting.key) {
            return at + "unknown setting " + key + " (a flag is set with true or false)";
        }
        if (option == nullptr) {
            return at + "unknown setting " + key;
        }
        if (!option->get_configurable()) {
            return at + "setting " + key + " is for the command line only";
        }
        if (setting.value.empty()) {
            return at + "setting " + key + " needs a value";
        }
        if (given.count(option) > 0) {
            continue;
        }
        // A later line wins, as a later option does; --ignore-player lines add up.
        if (!fromFile.insert(option).second &&
            option->get_multi_option_policy() != CLI::MultiOptionPolicy::TakeAll) {
            option->clear();
        }
        std::string value = setting.value;
        // A map named beside the settings file is found from any working folder (a
        // service starts in /).
        const CLI::Option* beside[] = {app.get_option("--keys"),
                                       app.get_option_no_throw("--mqtt-ca"),
                                       app.get_option_no_throw("--mqtt-password-file")};
        if (std::find(std::begin(beside), std::end(beside), option) != std::end(beside)) {
            value = Utf8FromPath(PathFromUtf8(file).parent_path() / PathFromUtf8(value));
        }
        try {
            option->add_result(value);
            option->run_callback();
        } catch (const CLI::ParseError& error) {
            return at + (option->get_expected_min() == 0 ? "setting " + key + " is true or false"
                                                         : UsageProblem(error, "value"));
        }
        setAt[setting.key] = where + std::to_string(setting.line);
    }
    return {};
}
