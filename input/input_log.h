#pragma once

#include "log/log_line.h"

// Diagnostics of the kernel input device source; never shown in the history.
extern LogCategory lcInput;
