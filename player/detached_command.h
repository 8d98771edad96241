#pragma once

#include <string>

// Starts command on its own, without waiting for it and without it becoming our child to
// reap: through /bin/sh -c on POSIX, as a plain command line (no shell) on Windows. False,
// with error set, when it could not be started.
bool StartDetachedCommand(const std::string& command, std::string& error);
