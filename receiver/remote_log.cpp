#include "receiver/remote_log.h"

LogCategory lcRemote("quorvel.remote");
