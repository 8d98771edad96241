#pragma once

#include <memory>
#include <string>

#include "history/history_log.h"
#include "receiver/byte_source.h"

// The infrared receiver's serial port: opened once, configured with the receiver's fixed
// line settings, then read one byte at a time.
class SerialLine : public ByteSource {
public:
    static constexpr const char* DefaultPort = "/dev/ttyS0";

    // history receives the "Err" and "COM READ ERROR!" lines.
    SerialLine(std::string path, HistoryLog& history);
    ~SerialLine() override;

    // Opens the port read-only and exclusively. A failure is not reported in the history:
    // the configuration steps that follow then fail and say so.
    void OpenPort();
    // Applies 9600 8N1 raw; each of its three line-setting steps that fails adds "Err".
    void ConfigurePort();
    // Blocks until a byte arrives (0..255), the read fails (ReadFailed, after one
    // "COM READ ERROR!" line) or RequestStop was called (Stopped).
    int ReadByte() override;

    // Safe from any thread: wakes a blocked read or back-off wait; every later read
    // returns Stopped.
    void RequestStop();
};
