#include "options/option_checks.h"

#include <algorithm>
#include <vector>

#include "options/command_line.h"

OptionCheck NeedsValue(const std::string& option) {
    return [option](const std::string& value) {
        return value.empty() || value[0] == '-' ? "option '" + option + "' needs a value"
                                                : std::string();
    };
}

#ifndef _WIN32
OptionCheck NoEmptyName(const std::string& option) {
    return [option](const std::string& list) {
        const std::vector<std::string> names = CommandLine::Names(list);
        return std::find(names.begin(), names.end(), std::string()) == names.end()
                   ? std::string()
                   : "option '" + option + "' has an empty name in '" + list + "'";
    };
}
#endif
