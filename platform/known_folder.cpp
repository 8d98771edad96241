#include "platform/known_folder.h"

#include <windows.h>

#include <shlobj.h>

std::filesystem::path KnownFolder(UserFolder folder) {
    const KNOWNFOLDERID& id = folder == UserFolder::RoamingAppData ? FOLDERID_RoamingAppData
                              : folder == UserFolder::LocalAppData ? FOLDERID_LocalAppData
                                                                   : FOLDERID_Profile;
    PWSTR path = nullptr;
    std::filesystem::path found;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path))) {
        found = path;
    }
    CoTaskMemFree(path);
    return found;
}
