#pragma once

#include <QLoggingCategory>

// Diagnostics of the signal receiver; never shown in the history.
Q_DECLARE_LOGGING_CATEGORY(lcReceiver)
