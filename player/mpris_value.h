#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

// A property's value as the link keeps it, in the types MPRIS gives the properties it reads:
// PlaybackStatus and Identity are strings, Volume a double (or an int32, from players written
// in languages whose numbers carry no type). A value of any other type is none.
using MprisValue = std::variant<std::monostate, std::string, double, std::int32_t>;
using MprisProperties = std::map<std::string, MprisValue>;
