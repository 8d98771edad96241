#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

// A diagnostics file that never grows past two files of limit bytes: path holds the newest
// lines, path.1 the ones before. When a line would take path past the limit, path is moved
// over path.1 and begun anew. When it cannot be moved (another copy of the program holds
// it, or path.1 is open elsewhere), path is emptied instead and begun with a line that says
// why; when it cannot be emptied either, a last line says so and nothing more is written.
// Folders are made as needed. One caller at a time.
class BoundedLogFile {
  public:
    static constexpr std::uintmax_t DefaultLimit = 1024 * 1024;

    explicit BoundedLogFile(std::filesystem::path path, std::uintmax_t limit = DefaultLimit);

    // Appends line and a newline. False when it could not be written: a log that cannot
    // be kept never stops the program.
    bool Append(const std::string& line);

    const std::filesystem::path& Path() const { return path_; }

  private:
    bool Open(std::ios::openmode mode);
    // Makes room for adding bytes; false when nothing more may be written.
    bool Rotate();
    bool Write(const std::string& line);

    std::filesystem::path path_;
    std::uintmax_t limit_;
    std::ofstream out_;
    std::uintmax_t size_ = 0;
    bool stopped_ = false;
};
