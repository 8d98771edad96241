#pragma once

#include <filesystem>
#include <optional>
#include <string>

// What the windows keep between runs, in state.conf beside the settings file (the same
// NAME = VALUE lines, read and written as the settings file is): the keys window's size,
// "keys-window-size = 760x520".

std::filesystem::path DefaultWindowStatePath();

struct WindowSize {
    int width = 0;
    int height = 0;
};

// None when the file or the line is missing or is not a size.
std::optional<WindowSize> ReadKeysWindowSize(const std::filesystem::path& file);
// False, with why in problem, when it could not be written.
bool SaveKeysWindowSize(const std::filesystem::path& file, WindowSize size, std::string& problem);
