#include "platform/watch_plan.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace {

// Links followed from the file at most: a loop of links ends here.
constexpr int LinkLimit = 8;

void Add(std::vector<WatchedFolder>& plan, const fs::path& folder, const fs::path& name) {
    const auto found = std::find_if(plan.begin(), plan.end(), [&](const WatchedFolder& watched) {
        return watched.folder == folder;
    });
    if (found == plan.end()) {
        plan.push_back({folder, {name}});
    } else if (std::find(found->names.begin(), found->names.end(), name) == found->names.end()) {
        found->names.push_back(name);
    }
}

void Follow(std::vector<WatchedFolder>& plan, const fs::path& path, int links, bool parents) {
    std::error_code error;
    const fs::path file = fs::absolute(path, error).lexically_normal();
    fs::path folder = file.parent_path();
    fs::path name = file.filename();
    while (!fs::is_directory(folder, error) && folder.has_relative_path()) {
        name = folder.filename();
        folder = folder.parent_path();
    }
    Add(plan, folder, name);
    if (folder != file.parent_path()) {
        return;  // the rest follows once the folder on the way is made
    }
    if (parents && folder.has_relative_path()) {
        Add(plan, folder.parent_path(), folder.filename());
    }
    if (links > 0 && fs::is_symlink(fs::symlink_status(file, error))) {
        const fs::path target = fs::read_symlink(file, error);
        if (!error) {
            Follow(plan, target.is_absolute() ? target : folder / target, links - 1, parents);
        }
    }
}

}  // namespace

std::vector<WatchedFolder> PlanWatch(const fs::path& file, bool parents) {
    std::vector<WatchedFolder> plan;
    Follow(plan, file, LinkLimit, parents);
    return plan;
}
