#pragma once

#include <filesystem>

// Windows only: a folder of the user's profile as the system names it (SHGetKnownFolderPath),
// whatever its characters; empty when there is none. No system header here, so its macros
// (ReplaceFile, ...) stay out of the files that use it.
enum class UserFolder {
    RoamingAppData,  // %APPDATA%: the key map
    LocalAppData,    // %LOCALAPPDATA%: the log
    Profile,         // %USERPROFILE%: how far up a key map's folders are judged
};

std::filesystem::path KnownFolder(UserFolder folder);
