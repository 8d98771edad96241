#pragma once

#include "log/log_line.h"

// Diagnostics of Home Assistant's discovery; never shown in the history.
extern LogCategory lcDiscovery;
