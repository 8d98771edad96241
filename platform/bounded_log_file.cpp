#include "platform/bounded_log_file.h"

#include <utility>

#include "platform/utf8_path.h"

namespace fs = std::filesystem;

BoundedLogFile::BoundedLogFile(fs::path path, std::uintmax_t limit)
    : path_(std::move(path)), limit_(limit) {}

bool BoundedLogFile::Open(std::ios::openmode mode) {
    std::error_code ignored;
    fs::create_directories(path_.parent_path(), ignored);
    out_.open(path_, std::ios::binary | mode);
    const std::uintmax_t size = fs::file_size(path_, ignored);
    size_ = size == static_cast<std::uintmax_t>(-1) ? 0 : size;
    return out_.is_open();
}

bool BoundedLogFile::Write(const std::string& line) {
    out_ << line << '\n';
    out_.flush();
    size_ += line.size() + 1;
    return out_.good();
}

bool BoundedLogFile::Rotate() {
    out_.close();
    fs::path older = path_;
    older += ".1";
    std::error_code failure;
    fs::rename(path_, older, failure);
    if (!failure) {
        return Open(std::ios::app);
    }
    // Appending anyway would retry the move at every line and grow the file without end.
    const std::string why =
        "cannot move it to " + Utf8FromPath(older.filename()) + ": " + failure.message();
    if (Open(std::ios::trunc)) {
        return Write("(older lines dropped: " + why + ")");
    }
    if (Open(std::ios::app)) {
        Write("(the log stops here: " + why + ", and cannot empty it)");
        out_.close();
    }
    stopped_ = true;
    return false;
}

bool BoundedLogFile::Append(const std::string& line) {
    if (stopped_) {
        return false;
    }
    if (!out_.is_open() && !Open(std::ios::app)) {
        return false;
    }
    if (size_ > 0 && size_ + line.size() + 1 > limit_ && !Rotate()) {
        return false;
    }
    return Write(line);
}
