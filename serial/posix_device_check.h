#pragma once

#include <sys/types.h>

#include <string>

// Why a device of owner's must not be taken as the receiver's port: serial devices belong
// to root and a user's own pseudo-terminal to the user, and a device of another user's
// would hand them the remote (their keys reaching our player). Empty when it may be.
std::string WhyNotOwnDevice(const std::string& path, uid_t owner);
