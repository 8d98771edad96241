#include "actions/player_log.h"

LogCategory lcPlayer("quorvel.player");
