#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

// How both programs (quorvel, quorvel-send) say what is wrong with a command line parsed
// with CLI11: in their own words where CLI11's would mislead, in CLI11's otherwise.

// A value given to a flag ("--console=1"), which CLI11 would take as the flag's setting;
// empty when there is none.
inline std::string FlagGivenAValue(const std::vector<std::string>& args,
                                   const std::vector<std::string>& flags) {
    for (const std::string& arg : args) {
        for (const std::string& flag : flags) {
            if (arg.rfind(flag + "=", 0) == 0) {
                return "option '" + flag + "' takes no value";
            }
        }
    }
    return {};
}

// A check's own words ("option '--port' needs a value"), that an option needs its value
// (needs: "value", "path"), or CLI11's text.
inline std::string UsageProblem(const CLI::ParseError& error, const char* needs) {
    const std::string what = error.what();
    if (const auto own = what.find("option '"); own != std::string::npos) {
        return what.substr(own);
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        if (const auto colon = what.find(':'); colon != std::string::npos) {
            return "option '" + what.substr(0, colon) + "' needs a " + needs;
        }
    }
    return what;
}
