#pragma once

#include "log/log_line.h"

// Diagnostics of the player link; never shown in the history.
extern LogCategory lcPlayer;
