#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Whether a file that can run commands may be trusted, as ssh's StrictModes decides: no
// other user may have written it or replaced it. POSIX; Windows' access lists are judged
// by access_list_trust.h.

// One link of the chain from the file up to the user's home (or /): what stat says of it.
struct TrustedPathPart {
    std::filesystem::path path;
    unsigned owner = 0;
    unsigned mode = 0;  // st_mode: the type and permission bits
};

// What else the user may do about a file that cannot be trusted, said after what would mend
// it where it is: a key map can be moved; a password belongs in a file of the user's own.
inline constexpr std::string_view MoveTheMap = "move the map";
inline constexpr std::string_view KeepThePasswordElsewhere =
    "keep the password in a file of your own, in a folder of your own";

// Why chain (the file first, then each folder above it) cannot be trusted by user; empty
// when it can. The file and its folders must be owned by the user or root, and writable
// by nobody else, but for a root-owned folder with the sticky bit (like /tmp), in which
// no one else can replace a file of the user's. instead is what else the user may do.
std::string WhyUntrusted(const std::vector<TrustedPathPart>& chain, unsigned user,
                         std::string_view instead = MoveTheMap);

// Why a file that holds a secret (a password), as file (the chain's first part) describes
// it, can be read by others, as ssh refuses such a private key: empty when no other user may
// read it; else which mode to give it.
std::string WhyNotSecret(const TrustedPathPart& file);

#ifndef _WIN32
// The chain for the file open on fd (read from path): the descriptor's own fstat, then
// each folder of path's real location up to the user's home or /. Empty, with why set,
// when one cannot be looked at.
std::vector<TrustedPathPart> TrustChain(int fd, const std::filesystem::path& path,
                                        std::string& why);
#endif
