#include "receiver/receiver_log.h"

LogCategory lcReceiver("quorvel.receiver");
