#pragma once

#include <memory>
#include <string>
#include <vector>

#include "serial/serial_line.h"
#include "source/receiver_loop.h"

// The receiver loop over one serial receiver on path (a test's pseudo-terminal).
inline std::unique_ptr<ReceiverLoop> SerialReader(const std::string& path) {
    std::vector<std::unique_ptr<KeySource>> sources;
    sources.push_back(std::make_unique<SerialLine>(path, MakeSerialDevice()));
    return std::make_unique<ReceiverLoop>(std::move(sources));
}
