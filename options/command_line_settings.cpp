#include "options/command_line_settings.h"

#include <algorithm>
#include <set>

#include "log/untrusted_text.h"
#include "options/option_group.h"
#include "options/settings_file.h"
#include "options/usage_problem.h"
#include "platform/utf8_path.h"

namespace {

// One line of the settings file, set through its option as one given on the command line
// would be, checks and all; what is wrong with it, or empty. at: "FILE:LINE: ".
std::string ApplySetting(CLI::App& app, const Setting& setting, const std::string& file,
                         const std::string& at, const std::vector<OptionGroup*>& groups,
                         const std::set<const CLI::Option*>& given,
                         std::set<const CLI::Option*>& fromFile) {
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
        return {};
    }
    // A later line wins, as a later option does; --ignore-player lines add up.
    if (!fromFile.insert(option).second &&
        option->get_multi_option_policy() != CLI::MultiOptionPolicy::TakeAll) {
        option->clear();
    }
    std::string value = setting.value;
    // A file named beside the settings file is found from any working folder (a service
    // starts in /).
    bool names = option->get_name() == "--keys";
    for (const OptionGroup* group : groups) {
        const std::vector<std::string> files = group->Files();
        names = names || std::find(files.begin(), files.end(), option->get_name()) != files.end();
    }
    if (names) {
        value = Utf8FromPath(PathFromUtf8(file).parent_path() / PathFromUtf8(value));
    }
    try {
        option->add_result(value);
        option->run_callback();
    } catch (const CLI::ParseError& error) {
        return at + (option->get_expected_min() == 0 ? "setting " + key + " is true or false"
                                                     : UsageProblem(error, "value"));
    }
    return {};
}

}  // namespace

std::string ApplySettings(CLI::App& app, const std::string& file, bool mustExist,
                          const std::vector<OptionGroup*>& groups,
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
    for (const OptionGroup* group : groups) {
        group->KeepWhole(app, given);
    }
    std::set<const CLI::Option*> fromFile;
    for (const Setting& setting : read.settings) {
        const std::string at = where + std::to_string(setting.line) + ": ";
        if (const std::string problem =
                ApplySetting(app, setting, file, at, groups, given, fromFile);
            !problem.empty()) {
            return problem;
        }
        if (!given.count(app.get_option_no_throw("--" + setting.key))) {
            setAt[setting.key] = where + std::to_string(setting.line);
        }
    }
    return {};
}
