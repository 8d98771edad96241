#include "player/player_log.h"

// Debug detail only on request (QT_LOGGING_RULES="quorvel.*.debug=true").
Q_LOGGING_CATEGORY(lcPlayer, "quorvel.player", QtInfoMsg)
