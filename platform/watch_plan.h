#pragma once

#include <filesystem>
#include <vector>

// A folder to watch, and the entries in it whose changes matter.
struct WatchedFolder {
    std::filesystem::path folder;
    std::vector<std::filesystem::path> names;
};

// The folders to watch so that no save of file is missed, whatever becomes of the folders on
// its way: file's folder, for file itself; that folder's parent, for the folder removed or
// made again; where a folder on the way is missing, the nearest one that exists, for the
// next folder made; and where file is a link (a map kept in a dotfiles repository), the same
// for the file it points to. Made again whenever one of these changes. Without parents, a
// folder that exists is watched alone: its own watch says when it goes, and its parent
// (/tmp, /run) may be busy with what is none of our business.
std::vector<WatchedFolder> PlanWatch(const std::filesystem::path& file, bool parents = true);
