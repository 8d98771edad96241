#include "receiver/receiver_log.h"

Q_LOGGING_CATEGORY(lcReceiver, "quorvel.receiver")
