#pragma once

#include <windows.h>

#include <shlobj.h>

#include <filesystem>

// A folder of the user's profile (FOLDERID_RoamingAppData, FOLDERID_LocalAppData) as
// Windows names it, whatever its characters; empty when Windows has none.
std::filesystem::path KnownFolder(const KNOWNFOLDERID& folder);
