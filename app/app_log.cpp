#include "app/app_log.h"

// Debug detail only on request (QT_LOGGING_RULES="quorvel.*.debug=true").
Q_LOGGING_CATEGORY(lcApp, "quorvel.app", QtInfoMsg)
