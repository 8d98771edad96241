#include "platform/file_replacement.h"

#include "platform/fresh_file.h"
#include "platform/utf8_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// Our ReplaceFile, not the macro windows.h makes of the system's.
#undef ReplaceFile
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using namespace fresh_file;

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

// The backup's place number: path.bak itself (0), else path.bak.number.
fs::path Place(const fs::path& backup, int number) {
    fs::path numbered = backup;
    if (number > 0) {
        numbered += ".";
        numbered += std::to_string(number);
    }
    return numbered;
}

// What KeepBackup did, so that a save that fails after it can put every backup back.
struct KeptBackup {
    fs::path backup;                                   // path.bak
    bool made = false;                                 // whether path.bak was written now
    std::vector<std::pair<fs::path, fs::path>> moved;  // the renames done, in order
    fs::path aside;  // where the oldest backup waits to be dropped; empty: none
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

// Moves the backups from place top - 1 up to 0 each one place down; false with error set
// (the backups as they were) when it could not.
bool MoveDown(KeptBackup& kept, int top, std::string& error) {
    for (int number = top; number >= 1; --number) {
        if (!Rename(Place(kept.backup, number - 1), Place(kept.backup, number), error)) {
            PutBack(kept, error);
            return false;
        }
        kept.moved.emplace_back(Place(kept.backup, number - 1), Place(kept.backup, number));
    }
    return true;
}

// Makes path.bak hold old, first moving a path.bak that holds something else down the
// numbered backups as far as the first free place. The oldest is only set aside until
// the save is done, so a save that fails keeps every backup. False with error set, the
// backups as they were, when it could not.
bool KeepBackup(const fs::path& path, const Contents& old, KeptBackup& kept, std::string& error) {
    kept.backup = fs::path(path) += ".bak";
    if (const fs::file_type type = TypeAt(kept.backup); type != fs::file_type::not_found) {
        if (type != fs::file_type::regular) {
            error = "cannot keep the old content as " + Utf8FromPath(kept.backup) + ": " +
                    Describe(type);
            return false;
        }
        const std::optional<Contents> held = ReadRegular(kept.backup);
        if (held && held->text == old.text) {
            return true;  // already kept
        }
        // Backups down to the first place that holds none of ours: free, or not a file.
        int end = 1;
        while (end <= NumberedBackups &&
               TypeAt(Place(kept.backup, end)) == fs::file_type::regular) {
            ++end;
        }
        const bool free =
            end <= NumberedBackups && TypeAt(Place(kept.backup, end)) == fs::file_type::not_found;
        if (!free) {
            const fs::path oldest = Place(kept.backup, end - 1);
            const fs::path aside = FreshName(path.parent_path(), path.filename(), ".old-");
            if (!Rename(oldest, aside, error)) {
                return false;
            }
            kept.moved.emplace_back(oldest, aside);
            kept.aside = aside;
        }
        if (!MoveDown(kept, free ? end : end - 1, error)) {
            return false;
        }
    }
    // A backup is never read-only on Windows, where that would keep it from being dropped.
    Contents like = old;
    like.readOnly = false;
    const std::optional<fs::path> copy =
        WriteFresh(path.parent_path(), path.filename(), old.text, like, error);
    if (!copy || !Rename(*copy, kept.backup, error)) {
        std::error_code failure;
        if (copy) {
            fs::remove(*copy, failure);
        }
        PutBack(kept, error);
        return false;
    }
    kept.made = true;
    return true;
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

bool IsMarkedReadOnly(const fs::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
#endif
}

FileReplacement ReplaceFile(const fs::path& path, const std::string& content, Backups backups) {
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

    const bool replacing = TypeAt(file) != fs::file_type::not_found;
    const std::optional<Contents> old = replacing ? ReadRegular(file) : Contents{};
    if (!old) {
        result.error = "cannot read " + Utf8FromPath(file) + " to keep it: " + std::strerror(errno);
        return result;
    }
    const std::optional<fs::path> fresh =
        WriteFresh(file.parent_path(), file.filename(), content, *old, result.error);
    if (!fresh) {
        return result;
    }
    KeptBackup kept;
    if (replacing && backups == Backups::Keep) {
        if (!KeepBackup(file, *old, kept, result.error)) {
            fs::remove(*fresh, failure);
            return result;
        }
        result.backup = kept.backup;
    }
    // Windows renames nothing over a read-only file: the mark goes while the new content
    // takes its place, and comes back on it.
    if (old->readOnly) {
        SetReadOnly(file, false);
    }
    if (!Rename(*fresh, file, result.error)) {
        SetReadOnly(file, old->readOnly);
        fs::remove(*fresh, failure);
        PutBack(kept, result.error);
        result.backup.clear();
        return result;
    }
    if (old->readOnly) {
        SetReadOnly(file, true);
    }
    if (!kept.aside.empty()) {
        fs::remove(kept.aside, failure);
    }
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
