#pragma once

#include "log/log_line.h"

// Diagnostics of the keys window; never shown in the history.
extern LogCategory lcKeysWindow;
