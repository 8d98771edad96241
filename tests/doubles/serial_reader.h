#pragma once

#include <memory>
#include <string>

#include "serial/serial_line.h"
#include "tests/doubles/source_loop.h"

// The receiver loop over one serial receiver on path (a test's pseudo-terminal).
inline std::unique_ptr<ReceiverLoop> SerialReader(const std::string& path) {
    return LoopOver(std::make_unique<SerialLine>(path, MakeSerialDevice()));
}
