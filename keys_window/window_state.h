#pragma once

#include <filesystem>
#include <optional>
#include <string>

// What the windows keep between runs, in state.conf beside the settings file (the same
// NAME = VALUE lines, read and written as the settings file is, but with no backups): the
// keys window's size, "keys-window-size = 760x520".

std::filesystem::path DefaultWindowStatePath();

struct WindowSize {
    int width = 0;
    int height = 0;
};

// None when the file or the line is missing or is not a size.
std::optional<WindowSize> ReadKeysWindowSize(const std::filesystem::path& file);
// False, with why in problem, when it could not be written.
bool SaveKeysWindowSize(const std::filesystem::path& file, WindowSize size, std::string& problem);

// The size a window opens at on a screen whose work area is area (all in one unit): wanted
// (the size kept, or its default), at least least, but never beyond area, which wins over
// least too, so that every control of the window can be reached. Also the least size the
// window may be made on that screen: FitWindowSize(least, least, area).
WindowSize FitWindowSize(WindowSize wanted, WindowSize least, WindowSize area);
