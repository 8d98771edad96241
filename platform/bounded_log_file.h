#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

// A diagnostics file that never grows past two files of limit bytes: path holds the newest
// lines, path.1 the ones before. When a line would take path past the limit, path is moved
// over path.1 and begun anew. Folders are made as needed. One caller at a time.
class BoundedLogFile {
  public:
    static constexpr std::uintmax_t DefaultLimit = 1024 * 1024;

    explicit BoundedLogFile(std::filesystem::path path, std::uintmax_t limit = DefaultLimit);

    // Appends line and a newline. False when it could not be written: a log that cannot
    // be kept never stops the program.
    bool Append(const std::string& line);

    const std::filesystem::path& Path() const { return path_; }

  private:
    bool Open();

    std::filesystem::path path_;
    std::uintmax_t limit_;
    std::ofstream out_;
    std::uintmax_t size_ = 0;
};
