#include "platform/file_trust.h"

#include "platform/utf8_path.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The bits as stat gives them, spelt out for the Windows build, which has no names for them.
constexpr unsigned Sticky = 01000;
constexpr unsigned GroupWrite = 020;
constexpr unsigned OthersWrite = 02;
constexpr unsigned GroupOrOthers = 077;
constexpr unsigned Permissions = 07777;

}  // namespace

std::string WhyUntrusted(const std::vector<TrustedPathPart>& chain, unsigned user,
                         std::string_view instead) {
    for (size_t i = 0; i < chain.size(); ++i) {
        const TrustedPathPart& part = chain[i];
        const bool file = i == 0;
        const std::string name = Utf8FromPath(part.path);
        const std::string what = (file ? "" : "its folder ") + name;
        if (part.owner != user && part.owner != 0) {
            return what + " is owned by another user (chown it to yourself, or " +
                   std::string(instead) + ")";
        }
        const bool sticky = (part.mode & Sticky) != 0;
        if (!file && part.owner == 0 && sticky) {
            continue;  // like /tmp: others may add files, but not replace the user's
        }
        if ((part.mode & (GroupWrite | OthersWrite)) != 0) {
            return what + " can be written by others (chmod go-w " + name + ")";
        }
    }
    return {};
}

std::string WhyNotSecret(const TrustedPathPart& file) {
    if ((file.mode & GroupOrOthers) == 0) {
        return {};
    }
    char modes[32];
    std::snprintf(modes, sizeof modes, "%04o, give it %04o", file.mode & Permissions,
                  file.mode & Permissions & ~GroupOrOthers);
    const std::string name = Utf8FromPath(file.path);
    return name + " can be read by others (its mode is " + modes + ": chmod go= " + name + ")";
}

#ifndef _WIN32
std::vector<TrustedPathPart> TrustChain(int fd, const fs::path& path, std::string& why) {
    std::vector<TrustedPathPart> chain;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        why = "cannot look at " + Utf8FromPath(path) + ": " + std::strerror(errno);
        return {};
    }
    chain.push_back({path, st.st_uid, st.st_mode});

    std::error_code failure;
    const fs::path real = fs::canonical(path, failure);
    if (failure) {
        why = "cannot find where " + Utf8FromPath(path) + " is: " + failure.message();
        return {};
    }
    // The home of the password database, as ssh takes it: $HOME is the user's to change.
    fs::path home;
    if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_dir) {
        home = fs::weakly_canonical(entry->pw_dir, failure);
    }
    for (fs::path folder = real.parent_path();; folder = folder.parent_path()) {
        if (::stat(folder.c_str(), &st) != 0) {
            why = "cannot look at " + Utf8FromPath(folder) + ": " + std::strerror(errno);
            return {};
        }
        chain.push_back({folder, st.st_uid, st.st_mode});
        if (folder == home || folder == folder.root_path()) {
            break;
        }
    }
    return chain;
}
#endif
