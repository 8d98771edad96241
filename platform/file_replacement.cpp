#include "platform/file_replacement.h"

#include "platform/utf8_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

struct Contents {
    std::string text;
    unsigned mode = 0600;
};

std::string Describe(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "it is a folder";
        case fs::file_type::block:
        case fs::file_type::character:
            return "it is a device";
        case fs::file_type::fifo:
            return "it is a pipe";
        case fs::file_type::socket:
            return "it is a socket";
        default:
            return "it is not a regular file";
    }
}

// The contents of a regular file at path, read without following a link; none for
// anything else or when it cannot be read.
std::optional<Contents> ReadRegular(const fs::path& path) {
#ifdef _WIN32
    std::error_code failure;
    if (!fs::is_regular_file(fs::symlink_status(path, failure))) {
        return std::nullopt;
    }
    const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
#endif
    if (fd < 0) {
        return std::nullopt;
    }
    Contents contents;
    bool regular = true;
#ifndef _WIN32
    struct stat st {};
    regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    contents.mode = st.st_mode & 07777;
#endif
    char buffer[8192];
    for (;;) {
        if (!regular) {
            break;
        }
#ifdef _WIN32
        const int got = ::_read(fd, buffer, sizeof buffer);
#else
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
#endif
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            regular = got == 0;
            break;
        }
        contents.text.append(buffer, static_cast<size_t>(got));
    }
#ifdef _WIN32
    ::_close(fd);
#else
    ::close(fd);
#endif
    if (!regular) {
        return std::nullopt;
    }
    return contents;
}

// Writes text to a new file in folder, made exclusively under a name nobody can have
// prepared (a link planted there makes the creation fail, never a write through it), synced
// and given mode. Its path, or none with error set.
std::optional<fs::path> WriteFresh(const fs::path& folder, const fs::path& stem,
                                   const std::string& text, unsigned mode, std::string& error) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path name = folder / ".";
        name += stem;
        name += ".new-";
        name += std::to_string(random() % 1000000000ULL);
#ifdef _WIN32
        const int fd = ::_wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                                _S_IREAD | _S_IWRITE);
#else
        const int fd =
            ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
#endif
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            error = "cannot make a file in " + Utf8FromPath(folder) + ": " + std::strerror(errno);
            return std::nullopt;
        }
        bool written = true;
        for (size_t done = 0; done < text.size() && written;) {
#ifdef _WIN32
            const int wrote =
                ::_write(fd, text.data() + done,
                         static_cast<unsigned>(std::min<size_t>(text.size() - done, 1 << 20)));
#else
            const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
#endif
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            written = wrote > 0;
            done += written ? static_cast<size_t>(wrote) : 0;
        }
#ifdef _WIN32
        (void)mode;
        written = written && ::_commit(fd) == 0;
        written = ::_close(fd) == 0 && written;
#else
        written = written && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
        written = ::close(fd) == 0 && written;
#endif
        if (!written) {
            error = "cannot write " + Utf8FromPath(name) + ": " + std::strerror(errno);
            std::error_code ignored;
            fs::remove(name, ignored);
            return std::nullopt;
        }
        return name;
    }
    error = "cannot make a file in " + Utf8FromPath(folder) + ": every name tried was taken";
    return std::nullopt;
}

bool Rename(const fs::path& from, const fs::path& to, std::string& error) {
    std::error_code failure;
    fs::rename(from, to, failure);
    if (failure) {
        error = "cannot rename " + Utf8FromPath(from) + " to " + Utf8FromPath(to) + ": " +
                failure.message();
    }
    return !failure;
}

// backup.number, as the numbered backups are named.
fs::path Numbered(const fs::path& backup, int number) {
    fs::path numbered = backup;
    numbered += ".";
    numbered += std::to_string(number);
    return numbered;
}

// What KeepBackup did, so that a save that fails after it can put every backup back.
struct KeptBackup {
    fs::path backup;                                   // path.bak
    bool made = false;                                 // whether path.bak was written now
    std::vector<std::pair<fs::path, fs::path>> moved;  // the renames done, in order
};

// Puts the backups back as they were before kept; false, with error extended, when it cannot.
bool PutBack(const KeptBackup& kept, std::string& error) {
    std::error_code failure;
    if (kept.made) {
        fs::remove(kept.backup, failure);
    }
    std::string undoing;
    for (auto move = kept.moved.rbegin(); move != kept.moved.rend(); ++move) {
        if (!Rename(move->second, move->first, undoing)) {
            error += "; and the backups could not be put back: " + undoing;
            return false;
        }
    }
    return true;
}

// Makes path.bak hold old, first moving a path.bak that holds something else down the
// numbered backups. The oldest is only set aside (as one number more) until the save is
// done, so a save that fails keeps every backup. False with error set, the backups as they
// were, when it could not.
bool KeepBackup(const fs::path& path, const Contents& old, KeptBackup& kept, std::string& error) {
    kept.backup = fs::path(path) += ".bak";
    std::error_code failure;
    if (fs::exists(fs::symlink_status(kept.backup, failure))) {
        const std::optional<Contents> held = ReadRegular(kept.backup);
        if (held && held->text == old.text) {
            return true;  // already kept
        }
        for (int number = NumberedBackups + 1; number >= 1; --number) {
            const fs::path from = number == 1 ? kept.backup : Numbered(kept.backup, number - 1);
            const fs::path to = Numbered(kept.backup, number);
            if (!fs::exists(fs::symlink_status(from, failure))) {
                continue;
            }
            if (!Rename(from, to, error)) {
                PutBack(kept, error);
                return false;
            }
            kept.moved.emplace_back(from, to);
        }
    }
    const std::optional<fs::path> copy =
        WriteFresh(path.parent_path(), path.filename(), old.text, old.mode, error);
    if (!copy || !Rename(*copy, kept.backup, error)) {
        if (copy) {
            fs::remove(*copy, failure);
        }
        PutBack(kept, error);
        return false;
    }
    kept.made = true;
    return true;
}

// Drops the oldest backup, set aside by KeepBackup, once the save is done.
void DropOldest(const KeptBackup& kept) {
    std::error_code ignored;
    for (const auto& [from, to] : kept.moved) {
        if (to == Numbered(kept.backup, NumberedBackups + 1)) {
            fs::remove(to, ignored);
        }
    }
}

}  // namespace

std::string WhyNotAFileToWrite(const fs::path& path) {
    std::error_code failure;
    const fs::file_status link = fs::symlink_status(path, failure);
    if (link.type() == fs::file_type::not_found) {
        return {};
    }
    if (failure) {
        return "cannot look at it: " + failure.message();
    }
    if (link.type() == fs::file_type::regular) {
        return {};
    }
    if (link.type() != fs::file_type::symlink) {
        return Describe(link.type());
    }
    const fs::file_status target = fs::status(path, failure);
    if (target.type() == fs::file_type::regular) {
        return {};
    }
    const std::string where = Utf8FromPath(fs::read_symlink(path, failure));
    if (target.type() == fs::file_type::not_found) {
        return "it is a link to " + where + ", which does not exist";
    }
    return "it is a link to " + where + ", and " + Describe(target.type());
}

FileReplacement ReplaceFile(const fs::path& path, const std::string& content) {
    FileReplacement result;
    if (const std::string why = WhyNotAFileToWrite(path); !why.empty()) {
        result.error = "cannot write " + Utf8FromPath(path) + ": " + why;
        return result;
    }
    std::error_code failure;
    fs::path file = path;
    // A link to a file is kept; the file it points to is replaced.
    if (fs::is_symlink(fs::symlink_status(file, failure))) {
        file = fs::canonical(file, failure);
        if (failure) {
            result.error = "cannot follow " + Utf8FromPath(path) + ": " + failure.message();
            return result;
        }
    }
    file = fs::absolute(file, failure);
    result.written = file;
    fs::create_directories(file.parent_path(), failure);
    if (failure) {
        result.error = "cannot make " + Utf8FromPath(file.parent_path()) + ": " + failure.message();
        return result;
    }

    const std::optional<Contents> old =
        fs::exists(fs::symlink_status(file, failure)) ? ReadRegular(file) : Contents{};
    if (!old) {
        result.error = "cannot read " + Utf8FromPath(file) + " to keep it: " + std::strerror(errno);
        return result;
    }
    const bool replacing = fs::exists(fs::symlink_status(file, failure));
    const std::optional<fs::path> fresh = WriteFresh(file.parent_path(), file.filename(), content,
                                                     replacing ? old->mode : 0600, result.error);
    if (!fresh) {
        return result;
    }
    KeptBackup kept;
    if (replacing) {
        if (!KeepBackup(file, *old, kept, result.error)) {
            fs::remove(*fresh, failure);
            return result;
        }
        result.backup = kept.backup;
    }
    if (!Rename(*fresh, file, result.error)) {
        fs::remove(*fresh, failure);
        PutBack(kept, result.error);
        result.backup.clear();
        return result;
    }
    DropOldest(kept);
#ifndef _WIN32
    // The rename itself survives a crash only once the folder is synced.
    if (const int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#endif
    return result;
}
