#pragma once

#include <filesystem>
#include <string>

// Paths are std::filesystem::path inside the program and UTF-8 text only at its edges:
// the command line, the settings file's values and what the user is told. These two are
// the crossing. On Windows path(std::string) and path::string() would go through the ANSI
// code page, where a Japanese or Cyrillic folder name becomes "??": these two never do.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);
