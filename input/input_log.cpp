#include "input/input_log.h"

LogCategory lcInput("quorvel.input");
