#include "lircd/lircd_log.h"

LogCategory lcLircd("quorvel.lircd");
