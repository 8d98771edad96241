#include "keys_window/window_state.h"

#include <algorithm>

#include "options/settings_file.h"
#include "text/number_text.h"

namespace {

constexpr std::string_view KeysWindowSize = "keys-window-size";
constexpr int LargestSide = 100000;

}  // namespace

std::filesystem::path DefaultWindowStatePath() {
    return DefaultSettingsPath().parent_path() / "state.conf";
}

std::optional<WindowSize> ReadKeysWindowSize(const std::filesystem::path& file) {
    std::optional<WindowSize> size;
    for (const Setting& setting : ReadSettings(file).settings) {
        if (setting.key != KeysWindowSize) {
            continue;
        }
        const std::string_view value = setting.value;
        const auto x = value.find('x');
        const unsigned long width = ParseNumber(value.substr(0, x)).value_or(0);
        const unsigned long height =
            x == std::string_view::npos ? 0 : ParseNumber(value.substr(x + 1)).value_or(0);
        size.reset();
        if (width > 0 && height > 0 && width <= LargestSide && height <= LargestSide) {
            size = WindowSize{static_cast<int>(width), static_cast<int>(height)};
        }
    }
    return size;
}

bool SaveKeysWindowSize(const std::filesystem::path& file, WindowSize size, std::string& problem) {
    return SaveSetting(file, KeysWindowSize,
                       std::to_string(size.width) + "x" + std::to_string(size.height), problem, {},
                       false, Backups::None);
}

WindowSize FitWindowSize(WindowSize wanted, WindowSize least, WindowSize area) {
    const auto fit = [](int want, int low, int high) {
        return std::max(1, std::min(std::max(want, low), high));
    };
    return {fit(wanted.width, least.width, area.width),
            fit(wanted.height, least.height, area.height)};
}
