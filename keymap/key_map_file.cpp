#include "keymap/key_map_file.h"

#include "keymap/held_alone.h"
#include "keymap/key_map_document.h"
#include "log/untrusted_text.h"
#include "platform/access_list_trust.h"
#include "platform/child_command.h"
#include "platform/file_replacement.h"
#include "platform/file_trust.h"
#include "platform/text_decoding.h"
#include "platform/utf8_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
// Our ReplaceFile, not the macro windows.h makes of the system's.
#undef ReplaceFile

#include "platform/known_folder.h"
#include "text/win32_error_text.h"
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifndef _WIN32
std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// $HOME, or where the password database puts the user's home when it is not set (a
// service, su -, env -i): never "" with a map written under /.config.
std::string Home() {
    std::string home = Environment("HOME");
    if (home.empty() || home.front() != '/') {
        if (const passwd* entry = ::getpwuid(::geteuid()); entry != nullptr && entry->pw_dir) {
            home = entry->pw_dir;
        }
    }
    return home;
}
#endif

// Reads the file's bytes into read, and whether the file read can be trusted; false, with
// the problem added, when it cannot be read. file names it in problems.
bool ReadBytes(const fs::path& where, const std::string& file, KeyMapFile::Read& read) {
#ifdef _WIN32
    std::error_code error;
    if (const auto size = fs::file_size(where, error); !error && !WhyTooLarge(size).empty()) {
        read.problems.push_back(file + ": " + WhyTooLarge(size));
        return false;
    }
    std::ifstream in(where, std::ios::binary);
    if (!in) {
        // The C library calls a file another program holds open "Permission denied".
        const DWORD held = GetLastError();
        read.problems.push_back(file + ": cannot read it: " +
                                (held == ERROR_SHARING_VIOLATION || held == ERROR_LOCK_VIOLATION
                                     ? Win32ErrorText(held)
                                     : std::string(std::strerror(errno))));
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    read.bytes = bytes.str();
    // The path judged is the one read: a folder others may not write keeps it the same file.
    const std::vector<AccessListPart> chain = AccessChain(where, read.untrusted);
    if (read.untrusted.empty()) {
        read.untrusted = WhyUntrustedAccess(chain);
    }
#else
    // What is checked is what was read: the open file, never the path again.
    const int fd = ::open(where.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        read.problems.push_back(file + ": cannot read it: " + std::strerror(errno));
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } const closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        read.problems.push_back(file + ": not a file");
        return false;
    }
    if (const std::string why = WhyTooLarge(static_cast<std::uintmax_t>(st.st_size));
        !why.empty()) {
        read.problems.push_back(file + ": " + why);
        return false;
    }
    char buffer[8192];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            read.problems.push_back(file + ": cannot read it: " + std::strerror(errno));
            return false;
        }
        read.bytes.append(buffer, static_cast<size_t>(got));
    }
    const std::vector<TrustedPathPart> chain = TrustChain(fd, where, read.untrusted);
    if (read.untrusted.empty()) {
        read.untrusted = WhyUntrusted(chain, ::geteuid());
    }
#endif
    return true;
}

}  // namespace

fs::path KeyMapFile::DefaultPath() {
#ifdef _WIN32
    return KnownFolder(UserFolder::RoamingAppData) / "Quorvel" / "keys.conf";
#else
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        config = Home() + "/.config";
    }
    return fs::path(config + "/quorvel/keys.conf");
#endif
}

KeyMapFile::Read KeyMapFile::ReadFile(const fs::path& path) {
    Read read;
    const fs::path where = path.empty() ? DefaultPath() : path;
    read.path = where;
    // How the file is named in what the user is told.
    const std::string file = Utf8FromPath(where);
    std::error_code error;
    const fs::file_status status = fs::status(where, error);
    // Only a default map that is not there is absent: one that cannot be looked at (a
    // folder without access, a loop of links) is a problem, and a reload keeps the old map.
    if (path.empty() && status.type() == fs::file_type::not_found) {
        return read;
    }
    read.exists = true;
    if (status.type() == fs::file_type::none) {
        read.problems.push_back(file + ": cannot read it: " + error.message());
        return read;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        read.problems.push_back(file + ": not a file");
        return read;
    }
    if (!ReadBytes(where, file, read)) {
        return read;
    }
    // Maps saved by Notepad or PowerShell start with a byte order mark, or are UTF-16.
    DecodedText decoded = DecodeText(read.bytes);
    if (!decoded.problem.empty()) {
        read.problems.push_back(file + ":" + std::to_string(decoded.problemLine) + ": " +
                                decoded.problem);
        return read;
    }
    read.text = std::move(decoded.text);
    return read;
}

std::string KeyMapFile::RunRefusal(const fs::path& path, const std::string& why) {
    return Utf8FromPath(path) + ": refused, since it runs commands and " + why;
}

std::string KeyMapFile::WhyUntrustedToWrite(const fs::path& path) {
    std::string why;
#ifdef _WIN32
    std::error_code error;
    if (fs::exists(path, error)) {
        const std::vector<AccessListPart> chain = AccessChain(path, why);
        if (why.empty()) {
            why = WhyUntrustedAccess(chain);
        }
    }
#else
    // A map written keeps the mode of the one it replaces; a new one is the user's alone,
    // so only the folders it goes into are judged.
    fs::path judged = path;
    std::vector<TrustedPathPart> chain;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) {
        chain.push_back({path, ::geteuid(), S_IFREG | 0600});
        std::error_code error;
        for (judged = path.parent_path();
             !judged.empty() && !fs::exists(judged, error) && judged != judged.parent_path();
             judged = judged.parent_path()) {
        }
        fd = ::open(judged.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    }
    if (fd < 0) {
        return "cannot look at " + Utf8FromPath(judged) + ": " + std::strerror(errno);
    }
    const std::vector<TrustedPathPart> rest = TrustChain(fd, judged, why);
    ::close(fd);
    chain.insert(chain.end(), rest.begin(), rest.end());
    if (why.empty()) {
        why = WhyUntrusted(chain, ::geteuid());
    }
#endif
    return why;
}

KeyMapFile::Loaded KeyMapFile::Load(const fs::path& path) {
    Loaded loaded{KeyMap::Standard(), {}, {}, {}};
    Read read = ReadFile(path);
    loaded.problems = std::move(read.problems);
    if (!read.exists || !loaded.problems.empty()) {
        return loaded;
    }
    loaded.path = read.path;
    // A run command the platform would refuse (an unquoted Windows path) is a mistake of
    // the map, named by its line, not a surprise at the press.
    loaded.keys =
        KeyMap::Parse(read.text, Utf8FromPath(read.path), loaded.problems, ChildCommandProblem);
    if (loaded.problems.empty() && loaded.keys.HasRunBindings() && !read.untrusted.empty()) {
        loaded.problems.push_back(RunRefusal(read.path, read.untrusted));
    }
    if (loaded.problems.empty()) {
        const std::string source = Utf8FromPath(read.path);
        loaded.notes =
            HeldAloneNotes(KeyMapDocument(read.text, source, ChildCommandProblem), source);
    }
    return loaded;
}

bool KeyMapFile::Save(const fs::path& path, const KeyMap& keys, fs::path& backup,
                      std::string& error) {
    return SaveText(path, Header() + keys.Format(), backup, error);
}

bool KeyMapFile::SaveText(const fs::path& path, const std::string& text, fs::path& backup,
                          std::string& error) {
    const FileReplacement replaced = ReplaceFile(path, text);
    backup = replaced.backup;
    error = replaced.error;
    return error.empty();
}

std::string KeyMapFile::Header() {
    return "# Quorvel's key map: what each key of the remote does.\n"
           "#   key    CODE ACTION [ARGUMENTS]            a key press\n"
           "#   held   CODE ACTION [ARGUMENTS]            a held key: repeats while held\n"
           "#   double CODE ACTION [ARGUMENTS] [gap=MS]   a second press within 350 ms (or MS)\n"
           "#   long   CODE ACTION [ARGUMENTS] [delay=MS] held 600 ms (or MS): acts once\n"
           "# CODE is what Quorvel shows for an unbound key: 0-255 (or 0x hex), a key name\n"
           "# (KEY_PLAYPAUSE, or tv:KEY_OK for lircd's remote tv) or scan:0x...; any other\n"
           "# name goes in double quotes (\"1\", \"ch/up\", \"tv:ch/up\"; \\\" and \\\\ within).\n"
           "# ACTION is one of play-pause play pause stop next previous volume-up volume-down\n"
           "# mute seek-forward seek-backward (5 s, or give the seconds) raise next-player\n"
           "# previous-player run (the rest of the line is a command) mode (NAME and\n"
           "# timeout=SECONDS if wanted: the lines after [mode=NAME] apply; no NAME: back)\n"
           "# nothing. The lines after [player=GLOB] apply while the player matches GLOB.\n"
           "# See quorvel(1).\n";
}
