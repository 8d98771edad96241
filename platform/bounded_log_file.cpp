#include "platform/bounded_log_file.h"

#include <utility>

namespace fs = std::filesystem;

BoundedLogFile::BoundedLogFile(fs::path path, std::uintmax_t limit)
    : path_(std::move(path)), limit_(limit) {}

bool BoundedLogFile::Open() {
    std::error_code ignored;
    fs::create_directories(path_.parent_path(), ignored);
    out_.open(path_, std::ios::binary | std::ios::app);
    const std::uintmax_t size = fs::file_size(path_, ignored);
    size_ = size == static_cast<std::uintmax_t>(-1) ? 0 : size;
    return out_.is_open();
}

bool BoundedLogFile::Append(const std::string& line) {
    if (!out_.is_open() && !Open()) {
        return false;
    }
    const std::uintmax_t adding = line.size() + 1;
    if (size_ > 0 && size_ + adding > limit_) {
        out_.close();
        fs::path older = path_;
        older += ".1";
        std::error_code ignored;
        fs::rename(path_, older, ignored);
        if (!Open()) {
            return false;
        }
    }
    out_ << line << '\n';
    out_.flush();
    size_ += adding;
    return out_.good();
}
