#pragma once

#include <filesystem>
#include <string>

// Replacing a small file the user owns (the key map, the settings) so that nothing is ever
// lost: the path always holds the old or the new content, and an old content is kept as a
// backup unless a backup already holds it.

// Why path cannot be written; empty when it is a regular file, a link to one, or does
// not exist yet (a dangling link counts as a link to somewhere else, so it is refused).
std::string WhyNotAFileToWrite(const std::filesystem::path& path);

// Whether the file at path (through a link) is marked read-only as users mark a file they
// mean to keep: a mode that lets its owner not write it (chmod a-w), or on Windows the
// read-only attribute. False when there is no file. ReplaceFile writes over it all the same
// and keeps the mark, so whoever calls it asks first.
bool IsMarkedReadOnly(const std::filesystem::path& path);

// How many numbered backups are kept beside path.bak (path.bak.1 ... path.bak.3).
inline constexpr int NumberedBackups = 3;

// Whether the old content is kept: a file whose old content is worth nothing (what a
// window remembers) has no backups.
enum class Backups { Keep, None };

struct FileReplacement {
    std::filesystem::path written;  // the file written: path, or the file a link at path points to
    std::filesystem::path backup;  // the file that holds the old content; empty when there was none
    std::string error;             // why nothing was replaced; empty on success
};

// Writes content to a fresh file beside path (created exclusively, never through a link),
// syncs it, gives it the mode and group of the file it replaces (0600 for a new one; on
// Windows its read-only attribute) and renames it over path. The old content goes to
// path.bak; a path.bak that holds something else is first moved to path.bak.1, and so on
// up to path.bak.3, the oldest dropped. A numbered place that holds what is no file (a
// folder) is left as it is, and the backup before it is then the oldest. A replacement
// that fails leaves path and every backup as they were.
FileReplacement ReplaceFile(const std::filesystem::path& path, const std::string& content,
                            Backups backups = Backups::Keep);
