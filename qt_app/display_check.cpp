#include "qt_app/display_check.h"

namespace {

bool IsSet(const EnvironmentLookup& getenv, const char* name) {
    const char* value = getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

std::optional<std::string> MissingDisplayReason(const EnvironmentLookup& getenv) {
    // A platform chosen by hand (offscreen, vnc, ...) needs no display server: let Qt try.
    if (IsSet(getenv, "QT_QPA_PLATFORM") || IsSet(getenv, "DISPLAY") ||
        IsSet(getenv, "WAYLAND_DISPLAY")) {
        return std::nullopt;
    }
    return std::string("neither DISPLAY nor WAYLAND_DISPLAY is set");
}
