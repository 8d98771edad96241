#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The file operations ReplaceFile is made of: a file read with what a file that replaces
// it keeps (its mode and group; on Windows its read-only attribute), a fresh file written
// beside it, and a rename over it. Paths never followed through a link they did not expect.
namespace fresh_file {

struct Contents {
    std::string text;
    unsigned mode = 0600;
    long group = -1;        // its group; -1: the writer's own
    bool readOnly = false;  // Windows' read-only attribute (elsewhere the mode says it)
};

// What is at path itself, a link not followed; not_found on any failure.
std::filesystem::file_type TypeAt(const std::filesystem::path& path);
// The contents of a regular file at path, read without following a link; none for
// anything else or when it cannot be read (errno says why).
std::optional<Contents> ReadRegular(const std::filesystem::path& path);
// A name in folder beside stem that nobody can have prepared: ".STEM" what "NUMBER".
std::filesystem::path FreshName(const std::filesystem::path& folder,
                                const std::filesystem::path& stem, const char* what);
// Writes text to a new file in folder, made exclusively under a fresh name (a link planted
// there makes the creation fail, never a write through it), synced and given like's mode
// and group. Its path, or none with error set.
std::optional<std::filesystem::path> WriteFresh(const std::filesystem::path& folder,
                                                const std::filesystem::path& stem,
                                                const std::string& text, const Contents& like,
                                                std::string& error);
// Renames from over to; false with error set when it cannot (on Windows in the system's
// words, which say when another program holds the file).
bool Rename(const std::filesystem::path& from, const std::filesystem::path& to, std::string& error);
// Sets or clears Windows' read-only attribute; elsewhere the mode says it, and this does
// nothing.
void SetReadOnly(const std::filesystem::path& path, bool readOnly);

}  // namespace fresh_file
