#pragma once

#include "log/log_line.h"

// Diagnostics of the serial receiver; never shown in the history.
extern LogCategory lcReceiver;
