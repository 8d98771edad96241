#pragma once

#include "log/log_line.h"

// Diagnostics of the MQTT source; never shown in the history.
extern LogCategory lcMqtt;
