#include "remote/remote_log.h"

LogCategory lcRemote("quorvel.remote");
