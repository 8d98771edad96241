#pragma once

#include <filesystem>
#include <string>

// Paths travel through the program as UTF-8 text (command line, key map, messages); a
// std::filesystem::path holds them in the system's own form. On Windows path(std::string)
// and path::string() would go through the ANSI code page, where a Japanese or Cyrillic
// folder name becomes "??": these two never do.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);
