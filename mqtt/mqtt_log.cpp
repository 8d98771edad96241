#include "mqtt/mqtt_log.h"

LogCategory lcMqtt("quorvel.mqtt");
