#include "discovery/discovery_log.h"

LogCategory lcDiscovery("quorvel.discovery");
