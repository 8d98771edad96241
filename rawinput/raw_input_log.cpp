#include "rawinput/raw_input_log.h"

LogCategory lcRawInput("quorvel.rawinput");
