#include "player/player_log.h"

Q_LOGGING_CATEGORY(lcPlayer, "quorvel.player")
