#pragma once

#include <sys/types.h>

#include <string>

// Why a device of owner's must not be taken as the receiver's port: serial devices belong
// to root and a user's own pseudo-terminal to the user, and a device of another user's
// would hand them the remote (their keys reaching our player). Empty when it may be.
std::string WhyNotOwnDevice(const std::string& path, uid_t owner);

// Whether a UUCP-style lock file in folder (LCK..NAME, as minicom, picocom and ModemManager's
// peers write them) says that a live process holds the port named deviceName (a file name
// under /dev). A stale lock, of a process gone, holds nothing.
bool HeldByLockFile(const std::string& folder, const std::string& deviceName);
// The folders lock files are kept in.
inline constexpr const char* LockFolders[] = {"/run/lock", "/var/lock"};
