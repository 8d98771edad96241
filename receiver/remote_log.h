#pragma once

#include "log/log_line.h"

// Diagnostics of the remote: the receiver thread, key maps in force; never shown in the
// history.
extern LogCategory lcRemote;
