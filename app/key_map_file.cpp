#include "app/key_map_file.h"

#include "app/file_replacement.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Why a file that can run commands must not be trusted; empty when it may.
std::string WhyUntrusted(const std::string& path) {
#ifdef _WIN32
    // Windows grants writing through ACLs, which a user's own profile folder keeps private.
    (void)path;
    return {};
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    if (st.st_uid != ::geteuid()) {
        return "it is not owned by you";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "others can write it (it is group- or world-writable; chmod go-w " + path + ")";
    }
    return {};
#endif
}

}  // namespace

std::string KeyMapFile::DefaultPath() {
#ifdef _WIN32
    return (fs::path(Environment("APPDATA")) / "Quorvel" / "keys.conf").string();
#else
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        config = Environment("HOME") + "/.config";
    }
    return config + "/quorvel/keys.conf";
#endif
}

KeyMapFile::Loaded KeyMapFile::Load(const std::string& path) {
    Loaded loaded{KeyMap::Standard(), {}, {}};
    const std::string file = path.empty() ? DefaultPath() : path;
    std::error_code missing;
    if (path.empty() && !fs::exists(file, missing)) {
        return loaded;
    }
    if (fs::exists(file, missing) && !fs::is_regular_file(file, missing)) {
        loaded.problems.push_back(file + ": not a file");
        return loaded;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        loaded.problems.push_back(file + ": cannot read it: " + std::strerror(errno));
        return loaded;
    }
    std::ostringstream text;
    text << in.rdbuf();
    loaded.path = file;
    loaded.keys = KeyMap::Parse(text.str(), file, loaded.problems);
    if (loaded.problems.empty() && loaded.keys.HasRunBindings()) {
        if (const std::string why = WhyUntrusted(file); !why.empty()) {
            loaded.problems.push_back(file + ": refused, since it runs commands and " + why);
        }
    }
    return loaded;
}

bool KeyMapFile::Save(const std::string& path, const KeyMap& keys, std::string& backup,
                      std::string& error) {
    const FileReplacement replaced = ReplaceFile(path, Header() + keys.Format());
    backup = replaced.backup;
    error = replaced.error;
    return error.empty();
}

std::string KeyMapFile::Header() {
    return "# Quorvel's key map: what each key of the remote does.\n"
           "#   key  CODE ACTION [ARGUMENTS]   a key press\n"
           "#   held CODE ACTION [ARGUMENTS]   a held key: repeats while held\n"
           "# CODE is what Quorvel shows for an unbound key (0-255, or 0x hex). ACTION is one of\n"
           "# play-pause play pause stop next previous volume-up volume-down mute\n"
           "# seek-forward seek-backward (5 s, or give the seconds) raise run (the rest of the\n"
           "# line is a command) nothing. See quorvel(1).\n";
}
