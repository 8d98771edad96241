#pragma once

#include <chrono>
#include <string>

#include "serial/serial_device.h"

// A serial device that opens and sets up without fail and never waits: what a harness
// needs beneath a serial line when only the bytes it reads matter (Read is its own).
class ReadySerialDevice : public SerialDevice {
  public:
    int Open(const std::string&) override { return 0; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    bool ReadSettings() override { return true; }
    bool WriteLineSettings() override { return true; }
    bool PrepareQueues() override { return true; }
    bool WriteTimeouts() override { return true; }
    bool Pause(std::chrono::milliseconds) override { return true; }
    void Wake() override {}
    bool IsAbsent(int) const override { return false; }
    std::string DescribeOpenError(const std::string&, int) const override { return {}; }
    std::string DescribeReadError(int) const override { return {}; }
};
