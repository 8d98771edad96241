#pragma once

#include "log/log_line.h"

// Diagnostics of the history's own: what a console could not show.
extern LogCategory lcHistory;
