#pragma once

#include "log/log_line.h"

// Diagnostics of the Raw Input source (HID remotes and keyboards' media keys on Windows);
// never shown in the history.
extern LogCategory lcRawInput;
