#include "program/app_log.h"

LogCategory lcApp("quorvel.app");
