#include "platform/fresh_file.h"

#include "platform/utf8_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "text/win32_error_text.h"
#else
#include <grp.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
// The group's name, else its number.
std::string GroupName(long group) {
    struct group entry {};
    struct group* found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(static_cast<gid_t>(group), &entry, buffer, sizeof buffer, &found) == 0 &&
        found != nullptr) {
        return found->gr_name;
    }
    return std::to_string(group);
}

// Gives the open file group, unless it has it already; why not, or empty.
std::string GiveGroup(int fd, long group, const fs::path& file) {
    struct stat st {};
    if (group < 0 || (::fstat(fd, &st) == 0 && static_cast<long>(st.st_gid) == group) ||
        ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(group)) == 0) {
        return {};
    }
    return "cannot keep the group " + GroupName(group) + " of " + Utf8FromPath(file) + ": " +
           std::strerror(errno);
}
#endif

}  // namespace

namespace fresh_file {

fs::file_type TypeAt(const fs::path& path) {
    std::error_code failure;
    return fs::symlink_status(path, failure).type();
}

void SetReadOnly([[maybe_unused]] const fs::path& path, [[maybe_unused]] bool readOnly) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        SetFileAttributesW(path.c_str(), readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                                  : attributes & ~FILE_ATTRIBUTE_READONLY);
    }
#endif
}

std::optional<Contents> ReadRegular(const fs::path& path) {
    Contents contents;
#ifdef _WIN32
    if (TypeAt(path) != fs::file_type::regular) {
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    contents.readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
#endif
    if (fd < 0) {
        return std::nullopt;
    }
    bool regular = true;
#ifndef _WIN32
    struct stat st {};
    regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    contents.mode = st.st_mode & 07777;
    contents.group = static_cast<long>(st.st_gid);
#endif
    char buffer[8192];
    for (bool more = regular; more;) {
#ifdef _WIN32
        const int got = ::_read(fd, buffer, sizeof buffer);
#else
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
#endif
        more = got > 0 || (got < 0 && errno == EINTR);
        regular = got >= 0 || errno == EINTR;
        contents.text.append(buffer, got > 0 ? static_cast<size_t>(got) : 0);
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

fs::path FreshName(const fs::path& folder, const fs::path& stem, const char* what) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    fs::path name = folder / ".";
    name += stem;
    name += what;
    name += std::to_string(random() % 1000000000ULL);
    return name;
}

std::optional<fs::path> WriteFresh(const fs::path& folder, const fs::path& stem,
                                   const std::string& text, [[maybe_unused]] const Contents& like,
                                   std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path name = FreshName(folder, stem, ".new-");
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
#ifndef _WIN32
        // The group before the mode: giving a file a group may clear its set-group-ID bit.
        if (error = GiveGroup(fd, like.group, folder / stem); !error.empty()) {
            ::close(fd);
            std::error_code ignored;
            fs::remove(name, ignored);
            return std::nullopt;
        }
#endif
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
        written = written && ::_commit(fd) == 0;
        written = ::_close(fd) == 0 && written;
#else
        written = written && ::fchmod(fd, like.mode) == 0 && ::fsync(fd) == 0;
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
#ifdef _WIN32
    // The system's own words: "being used by another process" says who holds a file.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    error = "cannot rename " + Utf8FromPath(from) + " to " + Utf8FromPath(to) + ": " +
            Win32ErrorText(GetLastError());
    return false;
#else
    std::error_code failure;
    fs::rename(from, to, failure);
    if (failure) {
        error = "cannot rename " + Utf8FromPath(from) + " to " + Utf8FromPath(to) + ": " +
                failure.message();
    }
    return !failure;
#endif
}

}  // namespace fresh_file
