#pragma once

#include <functional>
#include <optional>
#include <string>

using EnvironmentLookup = std::function<const char*(const char* name)>;

// Why there is surely no display to open, or nothing when Qt may find one. Checked before
// the application object exists, so the user gets one plain line instead of Qt's abort.
std::optional<std::string> MissingDisplayReason(const EnvironmentLookup& getenv);
