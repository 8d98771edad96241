#include "serial/serial_log.h"

LogCategory lcReceiver("quorvel.receiver");
