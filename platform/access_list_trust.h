#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_trust.h"

// Windows' counterpart of file_trust.h: whether a file that can run commands may be
// trusted, judged by the access lists of the file and of its folders up to the user's
// profile (or the drive's root, for a file outside it). No one but the owner, the
// Administrators and SYSTEM may write the file or replace it.

// Whom an access list's entry (or an owner) stands for.
enum class Trustee {
    User,            // the user running the program
    Administrators,  // BUILTIN\Administrators
    System,          // NT AUTHORITY\SYSTEM
    OwnerRights,     // OWNER RIGHTS: whoever owns the object
    CreatorOwner,    // CREATOR OWNER: a stand-in for what is made inside, no one here
    Other,           // anyone else, a group with others in it included
};

// One entry of an access list, as far as trust goes. Deny entries are not weighed: a
// right allowed to others counts even where a deny entry would take it away again.
struct AccessEntry {
    Trustee trustee = Trustee::Other;
    std::string name;          // as the user knows it: "Everyone", "BUILTIN\Users"
    bool allows = true;        // an allow entry; false for any other kind
    bool inheritOnly = false;  // only for what is made inside, not for the object itself
    unsigned long mask = 0;    // the rights (an ACCESS_MASK)
};

// One link of the chain: the file or a folder, its owner, its access list.
struct AccessListPart {
    std::filesystem::path path;
    bool folder = false;
    Trustee owner = Trustee::User;
    std::string ownerName;
    bool hasList = true;  // false for no access list at all, which lets anyone do anything
    std::vector<AccessEntry> entries;
};

// Why chain (the file first, then each folder above it) cannot be trusted; empty when it
// can. Each part must be owned by the user, the Administrators or SYSTEM, and give no one
// else a right to write it or replace it: for the file to write its data, for a folder to
// add files to it or delete them in it, for either to delete or rename it, to change its
// access list or owner. Plain data, so it is tested on every platform. instead is what else
// the user may do (file_trust.h).
std::string WhyUntrustedAccess(const std::vector<AccessListPart>& chain,
                               std::string_view instead = MoveTheMap);

// Why file (a chain's first part), which holds a secret (a password), can be read by others:
// empty when no one but the user, the Administrators and SYSTEM may read its data; else who
// may, and where to take that away. Windows' counterpart of WhyNotSecret.
std::string WhyNotSecretAccess(const AccessListPart& file);

#ifdef _WIN32
// The chain for the file at path: the file, then each folder of its full path up to the
// user's profile folder or the root. Empty, with why set, when one cannot be looked at.
std::vector<AccessListPart> AccessChain(const std::filesystem::path& path, std::string& why);
#endif
