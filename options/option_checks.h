#pragma once

#include <functional>
#include <string>

// The checks the options share, each a CLI11 validator that says what is wrong in the
// program's own words ("option '--port' needs a value"), or nothing. A flag's value is
// FlagValue's (flag_value.h).
using OptionCheck = std::function<std::string(const std::string& value)>;

// A value that is there and is no option: one given where the value belongs
// ("--port --console") is a slip, never a value.
OptionCheck NeedsValue(const std::string& option);

#ifndef _WIN32
// "vlc,,mpv" or "vlc,": a slip, never a player named "".
OptionCheck NoEmptyName(const std::string& option);
#endif
