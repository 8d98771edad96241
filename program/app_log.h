#pragma once

#include "log/log_line.h"

// Diagnostics of the program around the receiver (start, windows, console, shutdown);
// never shown in the history.
extern LogCategory lcApp;
