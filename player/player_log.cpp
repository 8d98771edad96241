#include "player/player_log.h"

LogCategory lcPlayer("quorvel.player");
