#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// A file's bytes, whole; empty when it cannot be read.
inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces a file's bytes with text, making the file if need be.
inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// How many times text holds what, overlapping or not.
inline int Occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

// Points link at target in one step, replacing whatever it pointed at, as udev makes links.
inline void PointLink(const std::filesystem::path& link, const std::filesystem::path& target) {
    const std::filesystem::path next = link.string() + ".next";
    std::filesystem::create_symlink(target, next);
    std::filesystem::rename(next, link);
}
