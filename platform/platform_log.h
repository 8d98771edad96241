#pragma once

#include "log/log_line.h"

// Diagnostics of the services the operating system gives: signals, file watches.
extern LogCategory lcPlatform;
