#pragma once

#include "log/log_line.h"

// Diagnostics of the lircd source; never shown in the history.
extern LogCategory lcLircd;
