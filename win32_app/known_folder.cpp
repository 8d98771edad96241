#include "win32_app/known_folder.h"


std::filesystem::path KnownFolder(const KNOWNFOLDERID& folder) {
    PWSTR path = nullptr;
    std::filesystem::path found;
    if (SUCCEEDED(SHGetKnownFolderPath(folder, KF_FLAG_DEFAULT, nullptr, &path))) {
        found = path;
    }
    CoTaskMemFree(path);
    return found;
}
