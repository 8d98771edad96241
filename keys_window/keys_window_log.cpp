#include "keys_window/keys_window_log.h"

LogCategory lcKeysWindow("quorvel.keys");
