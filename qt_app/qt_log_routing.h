#pragma once

// Sends the diagnostics of the folders without Qt into Qt's logging, each under a Qt
// category of the same name, so QT_LOGGING_RULES and the message pattern apply to them as
// to the program's own: their thresholds are taken from the rules now in force. Call once,
// after the application object exists and before any thread logs.
void RouteLogIntoQt();
