#include "platform/platform_log.h"

LogCategory lcPlatform("quorvel.platform");
